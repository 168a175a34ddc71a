#pragma once

#include <cstdint>
#include <cstring>

// GCC vector types by lane count, and moves between them and memory. Through memcpy: no alignment
// is assumed, and the compiler picks the moves of the instruction set the calling kernel is
// compiled for.
namespace sonari::vec {

// W doubles per register; W or 2W floats; W 64-bit, W 32-bit or 2W 32-bit integers.
template <int W>
struct TLanes {
    typedef double D __attribute__((vector_size(8 * W)));
    typedef float F __attribute__((vector_size(4 * W)));
    typedef float F2 __attribute__((vector_size(8 * W)));
    typedef int64_t I64 __attribute__((vector_size(8 * W)));
    typedef int32_t I32 __attribute__((vector_size(4 * W)));
    typedef int32_t J __attribute__((vector_size(8 * W)));
};

template <class V>
[[gnu::always_inline]] inline void Load(V& v, const void* p) {
    std::memcpy(&v, p, sizeof v);
}

template <class V>
[[gnu::always_inline]] inline void Store(void* p, const V& v) {
    std::memcpy(p, &v, sizeof v);
}

// The same bits as another type of the same size.
template <class To, class From>
[[gnu::always_inline]] inline void Cast(To& to, const From& from) {
    static_assert(sizeof(To) == sizeof(From));
    std::memcpy(&to, &from, sizeof to);
}

} // namespace sonari::vec
