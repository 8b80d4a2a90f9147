#pragma once

#include <QLatin1String>

// The field names of the collection's tables, one constant each, so that a
// misspelt field is a compile error rather than an engine error at run time.
// The list follows the schema table by table; a test holds the two together.
#define STRIPOTHEK_SCHEMA_FIELDS(X) \
    /* SERVERSTRIPOTHEK */ \
    X(SCLCOMICID) X(SCLTITEL1) X(SCLTITEL2) X(SCLTITEL3) X(SCLSERIEID) X(SCLBAND) X(SCLAUFLAGE) X(SCLVERLAGID) \
    X(SCLISBNNR) X(SCLSEITEN) X(SCLINHALT) X(SCLLITARTID) X(SCLSPARTEID) X(SCLFEHLT) X(SCLBEMERKUNG) \
    X(SCLMAXLIMANZAHL) X(SCLAUTOREN) X(SCLZUKAUFEN) X(SCLINTISBNNR) X(SCLVERLAGTEXT) X(SCLSERIENTEXT) \
    X(SCLSERVERID) \
    /* COMIC2AUTOR */ \
    X(C2AID) X(C2AAUTORID) X(C2ACOMICID) X(C2AATID) \
    /* AUFLAGEN */ \
    X(ALAUFLAGEID) X(ALCOMICID) X(ALAUFLAGE) X(ALERSCHEINUNGSDATUM) X(ALVKPREIS) X(ALWG) X(ALSPREIS) X(ALSPWG) \
    X(ALAUSFUEHRUNGID1) X(ALAUSFUEHRUNGID2) \
    /* LOKALESTRIPOTHEK */ \
    X(LCLCOMICID) X(LCLSERVERCOMICID) X(LCLZUSTANDID) X(LCLAUFLAGE) X(LCLKPREIS) X(LCLKPREISWG) X(LCKKDATUM) \
    X(LCLLAGERPLATZ) X(LCLNUMMER) X(LCLBEMERKUNG) X(LCLHAUPTCOMIC) X(LCLAUSFUEHRUNGID1) X(LCLAUSFUEHRUNGID2) \
    /* VERLAGE */ \
    X(VLVERLAGID) X(VLNAME1) \
    /* SERIEN */ \
    X(SRSERIENID) X(SRNAME) X(SRBEMERUNG) \
    /* AUTOREN */ \
    X(ANAUTORID) X(ANNAME) \
    /* AUTORTYP */ \
    X(ATID) X(ATTYP) \
    /* AUSFUEHRUNGEN */ \
    X(AFAUSFID) X(AFNAME) \
    /* ZUSTANDSARTEN */ \
    X(ZWID) X(ZWNAME) X(ZWTEXT) \
    /* LITERATURART */ \
    X(LAARTID) X(LANAME) \
    /* UNTERART */ \
    X(UATID) X(UANAME) \
    /* KEYGEN */ \
    X(KGDBID) X(KGNEXTID)

namespace db::fields {

// Each constant is spelt as its own name: it cannot say anything else.
#define STRIPOTHEK_FIELD_CONSTANT(name) inline constexpr QLatin1String name{#name};
STRIPOTHEK_SCHEMA_FIELDS(STRIPOTHEK_FIELD_CONSTANT)
#undef STRIPOTHEK_FIELD_CONSTANT

// All of them, in the schema's order.
#define STRIPOTHEK_FIELD_ENTRY(name) name,
inline constexpr QLatin1String kAll[] = {STRIPOTHEK_SCHEMA_FIELDS(STRIPOTHEK_FIELD_ENTRY)};
#undef STRIPOTHEK_FIELD_ENTRY

} // namespace db::fields
