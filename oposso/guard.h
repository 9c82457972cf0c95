// Where an exception must stop: a COM method called by the application, a
// window procedure, a worker thread. Our code throws nothing of its own,
// but the C++ library throws std::bad_alloc when memory runs out, and an
// exception that crosses into COM or Windows ends the POS application.
// Portable, tested natively.
#pragma once

#include <cstdint>
#include <new>

namespace oposso {

// The HRESULTs a guarded call answers for an exception.
inline constexpr std::int32_t kEOutOfMemory = static_cast<std::int32_t>(0x8007000E);
inline constexpr std::int32_t kEFail = static_cast<std::int32_t>(0x80004005);

// Runs `call`, which answers an HRESULT, and answers it; E_OUTOFMEMORY when
// it ran out of memory, E_FAIL for any other exception.
template <typename Call>
std::int32_t CallGuarded(Call&& call) noexcept {
  try {
    return static_cast<std::int32_t>(call());
  } catch (const std::bad_alloc&) {
    return kEOutOfMemory;
  } catch (...) {
    return kEFail;
  }
}

}  // namespace oposso
