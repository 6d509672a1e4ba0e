#pragma once
#include <QByteArray>
#include <QStringList>

namespace varno {

// The dial text with its prefix translated: the first entry of `prefixes`
// ("prefix=replacement", in the order of the configuration file) whose
// prefix begins the text, byte for byte, replaces that beginning; later
// entries are not tried. Without a match the text comes back unchanged.
QByteArray ApplyDialPrefix(const QStringList& prefixes, const QByteArray& dial);

}  // namespace varno
