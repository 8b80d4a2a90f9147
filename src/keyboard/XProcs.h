#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

namespace xprocs {

// "*" stands for any run of characters, "?" for exactly one; every other
// character must be equal as it stands (callers fold the case beforehand).
// The matcher is deliberately simple: after a mismatch behind a star it
// resumes one character further on, a "?" ends the star's reach, and the
// character after a star is looked for literally. Some texts that a full
// wildcard matcher would accept are therefore refused.
bool MatchWildcard(QStringView text, QStringView pattern);

// True when one of the arguments after the program path ends with the switch
// name, or carries it followed by "=" (so "/KeyCtrlDisable=1" counts).
// Only the letters a to z are folded; any other character must match as given.
bool HasCommandSwitch(const QString& name, const QStringList& arguments);

// The same for the running program's own command line.
bool HasCommandSwitch(const QString& name);

} // namespace xprocs
