#pragma once

#include <QByteArray>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

// A broken promise of the code under test stops the run like a crash, so that the fuzzer keeps
// the input and the replay test fails on it.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

// Bytes in a heap block of exactly their size, handed out without a copy: a read past their end
// is then a heap overflow that AddressSanitizer reports, where a QByteArray's own buffer would
// hide it behind its terminating zero and spare capacity.
class ExactBytes
{
public:
    ExactBytes(const uint8_t* data, size_t size)
        : m_size(int(size))
        , m_data(new char[size])
    {
        if (size > 0)
            std::memcpy(m_data.get(), data, size);
    }
    explicit ExactBytes(const QByteArray& bytes)
        : ExactBytes(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()))
    {}
    QByteArray bytes() const { return QByteArray::fromRawData(m_data.get(), m_size); }

private:
    int m_size;
    std::unique_ptr<char[]> m_data;
};
