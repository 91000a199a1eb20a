#pragma once

// How many statements the next packet of a stream may carry. A server runs a packet's
// statements in order and stops at the first it refuses, so what followed the refused one
// goes out again: a refusal in a large packet costs the packet's rest. After a refusal the
// next packet carries half as many statements as the refused one, down to one, and each
// packet whose statements all ran carries twice as many as its size allowed, up to the
// most: a stream with many refused rows sends them in small packets, and a clean one is
// soon back to full packets.

#include <algorithm>
#include <cstddef>

class PacketSize
{
public:
    explicit PacketSize(size_t most) : m_most(most), m_next(most) {}

    size_t next() const { return m_next; }
    // A packet of sent statements had one refused.
    void refused(size_t sent) { m_next = std::max<size_t>(1, std::min(m_next, sent) / 2); }
    // Every statement of a packet ran.
    void ran() { m_next = std::min(m_most, m_next * 2); }

private:
    size_t m_most;
    size_t m_next;
};
