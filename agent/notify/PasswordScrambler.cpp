#include "agent/notify/PasswordScrambler.h"

namespace varno::PasswordScrambler {

const QString Plain = QStringLiteral("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                     "áäčďéěíĺľňóôöőŕřšťúůüűýžÁČĎÉ"
                                     "!\"#$%&'()*+,-./:;<=>?@[\\]^_{");
const QString Shuffled = QStringLiteral(")(S*1ýó+kiőZfh#ImdEy%:qtMůďl0,KxöôB^üěúá&Vz;ľ9=j.3ĎXž-rWO@b\"JCgÉsL_!řÁČ5e/"
                                        "Qĺ'cTDA$H7Y\\>u]ŕűa8š6<äťGRPíčFvnp2ň?Uo{é4wN[");

namespace {

QString map(const QString& text, const QString& from, const QString& to)
{
    QString out = text;
    for (QChar& c : out) {
        const qsizetype at = from.indexOf(c);
        if (at >= 0)
            c = to.at(at);
    }
    return out;
}

}  // namespace

QString Unscramble(const QString& stored) { return map(stored, Plain, Shuffled); }

QString Scramble(const QString& plain) { return map(plain, Shuffled, Plain); }

}  // namespace varno::PasswordScrambler
