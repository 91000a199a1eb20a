#pragma once

#include <QByteArray>
#include <QString>
#include <cstring>

// One database value: NULL, or the bytes of the value. Text arrives as UTF-8; binary
// columns carry their raw bytes; every other type carries the server's own text form.
class Value
{
public:
    Value() = default; // NULL
    static Value null() { return {}; }
    static Value of(QByteArray bytes)
    {
        Value value;
        value.m_null = false;
        value.m_bytes = std::move(bytes);
        return value;
    }
    static Value of(const QString& text) { return of(text.toUtf8()); }

    // Refills the value, reusing its buffer when nothing else shares it: a recordset
    // walking many rows then allocates nothing per value.
    void assign(const char* data, qsizetype size)
    {
        m_null = false;
        m_bytes.resize(size);
        if (size > 0)
            std::memcpy(m_bytes.data(), data, size_t(size));
    }
    void setNull()
    {
        m_null = true;
        m_bytes.resize(0);
    }

    bool isNull() const { return m_null; }
    const QByteArray& bytes() const { return m_bytes; }
    QString toString() const { return QString::fromUtf8(m_bytes); }

    friend bool operator==(const Value& a, const Value& b)
    {
        return a.m_null == b.m_null && a.m_bytes == b.m_bytes;
    }

private:
    bool m_null = true;
    QByteArray m_bytes;
};
