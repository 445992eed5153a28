// Module-level data of a library, kept once per thread (apartment), with a reset for tests.
//
//     struct CipherState { std::u16string charset = u"euc-kr"; };
//     auto& s = ApartmentState<CipherState>::get();
#pragma once

namespace platform::com {

template <class T>
class ApartmentState {
  public:
    static T& get() {
        thread_local T state{};
        return state;
    }
    static void reset() { get() = T{}; }
};

}  // namespace platform::com
