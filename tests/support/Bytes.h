#pragma once
#include <QByteArray>
#include <initializer_list>

namespace varno::test {

// A payload written as byte values: Bytes({0, 22, 0}).
inline QByteArray Bytes(std::initializer_list<int> list)
{
    QByteArray b;
    for (int v : list)
        b.append(static_cast<char>(v));
    return b;
}

}  // namespace varno::test
