// Sizing a buffer without letting an allocation failure escape: the program asks once per
// movie for what it will need and turns a refusal into a reason, never an exception.
#pragma once

#include <cstddef>
#include <new>
#include <vector>

namespace lunavue {

// count elements of value; false (and an empty vector) when out of memory.
template <typename T>
bool TryAllocate(std::vector<T>& v, size_t count, const T& value = T{}) {
    try {
        v.assign(count, value);
        return true;
    } catch (const std::bad_alloc&) {
        v = {};
        return false;
    }
}

// Room for count elements; false when out of memory.
template <typename T>
bool TryReserve(std::vector<T>& v, size_t count) {
    try {
        v.reserve(count);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace lunavue
