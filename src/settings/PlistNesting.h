#pragma once

#include <QByteArray>
#include <QString>

namespace kelvo::settings {

// Measures how deeply a property list nests before any parser builds it, so
// that a hostile or damaged file cannot drive a recursive parser, or the
// recursive release of what it built, off the end of the stack.
//
// Answers true when no container in the XML or binary property list lies
// deeper than maxDepth levels below the root (the root itself is level 0).
// Answers false, with the reason in errorText, when it does, or when a binary
// list's object table is inconsistent (references out of range, a cycle, a
// count running past the end), or when a string or key holds a zero
// character, which libplist cannot hand out. Bytes that are neither form pass: the parser
// refuses them itself. Runs in time linear in the size of the input and in
// memory linear in the number of binary objects, without recursion.
bool nestingWithinLimit(const QByteArray &bytes, int maxDepth, QString *errorText = nullptr);

} // namespace kelvo::settings
