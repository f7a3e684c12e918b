// The hash a table key is handed to the core with.
#pragma once

#include <cstdint>
#include <string_view>

#include "hash.hpp"
#include "python/python.hpp"

namespace orvel::python {

// Chooses, once per process at import, how keys are hashed: by the interpreter's own hash
// of the `str`, which the object keeps once made, mixed with our key (keyed_mix); or, when
// the interpreter's hashes are predictable (hash randomization off, as PYTHONHASHSEED=0
// makes it) or not a keyed SipHash of 64 bits, by our own keyed hash of the text. False
// with an exception set when sys cannot be read.
bool choose_key_hash();

// The hash slot of `str` itself, once choose_key_hash() has chosen the interpreter's hash;
// else null. A subclass's own __hash__ is Python code whose answer could differ between
// equal texts, so it is passed by.
extern hashfunc interpreter_str_hash;

// The hash of `object`, a `str` (or subclass) whose UTF-8 text is `text`. False with an
// exception set when the interpreter fails to hash it. Inline: every key of every call.
inline bool key_hash(PyObject* object, std::string_view text, std::uint64_t& hash) {
    if (!interpreter_str_hash) {
        hash = keyed_hash(text);
        return true;
    }
    const Py_hash_t made = interpreter_str_hash(object);
    if (made == -1) return false;
    hash = keyed_mix(static_cast<std::uint64_t>(made));
    return true;
}

}  // namespace orvel::python
