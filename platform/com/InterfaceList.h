// interface_list<I...>: QueryInterface answered from a compile-time list of interfaces. Both
// object bases use it (implements<> for objects with a count of their own, embedded<> for
// objects living inside another), so every object of the runtime answers by the same rules.
//
// An entry of I... is either an interface, answered together with the interfaces it extends, or a
// class implementing one interface that names it as `interface_type` (a mixin such as
// connection_point_container). An entry whose interface_type is void (internal<I>, a marker) is
// part of the object but never handed out.
#pragma once

#include <type_traits>

#include "platform/com/Unknown.h"

namespace ambivox {

// An interface the object implements for its own use and never hands out.
template <class I>
struct internal : I {
    using interface_type = void;
};

namespace interface_list_detail {

template <class E, class = void>
struct interface_of {
    using type = E;
};
template <class E>
struct interface_of<E, std::void_t<typename E::interface_type>> {
    using type = typename E::interface_type;
};

template <class First, class...>
struct first {
    using type = First;
};

// The interface an entry exposes as its IUnknown.
template <class E>
using unknown_path_t = std::conditional_t<std::is_void_v<typename interface_of<E>::type>, E,
                                          typename interface_of<E>::type>;

template <class I>
constexpr bool well_formed_interface() {
    if constexpr (std::is_void_v<I> || std::is_same_v<I, IUnknown>) {
        return true;
    } else {
        using base = typename I::base_interface;
        static_assert(std::is_base_of_v<base, I>, "base_interface must be a base of the interface");
        static_assert(!(I::iid == base::iid), "an interface must declare its own iid");
        return well_formed_interface<base>();
    }
}

}  // namespace interface_list_detail

template <class... I>
class interface_list {
    static_assert(sizeof...(I) > 0, "an object implements at least one interface");
    static_assert((interface_list_detail::well_formed_interface<
                       typename interface_list_detail::interface_of<I>::type>() &&
                   ...));
    using first_entry = typename interface_list_detail::first<I...>::type;

public:
    // Always reached through the first entry, whichever interface asks, so that an object has
    // one identity.
    template <class Object>
    static IUnknown* identity(Object* object) noexcept {
        using path = interface_list_detail::unknown_path_t<first_entry>;
        return static_cast<IUnknown*>(static_cast<path*>(static_cast<first_entry*>(object)));
    }

    // The object as interface riid, or null when no entry answers it. IUnknown is never found
    // here: what it answers (the identity, or an aggregated object's inner one) is the base's.
    template <class Object>
    static void* find(Object* object, REFIID riid) noexcept {
        void* found = nullptr;
        ((found = found != nullptr ? found : match_entry<I>(object, riid)), ...);
        return found;
    }

private:
    template <class E, class Object>
    static void* match_entry(Object* object, REFIID riid) noexcept {
        using itf = typename interface_list_detail::interface_of<E>::type;
        if constexpr (std::is_void_v<itf>)
            return nullptr;
        else
            return match_chain<E, itf>(object, riid);
    }

    template <class E, class T, class Object>
    static void* match_chain(Object* object, REFIID riid) noexcept {
        if constexpr (std::is_same_v<T, IUnknown>) {
            return nullptr;
        } else {
            if (riid == T::iid) return static_cast<T*>(static_cast<E*>(object));
            return match_chain<E, typename T::base_interface>(object, riid);
        }
    }
};

}  // namespace ambivox
