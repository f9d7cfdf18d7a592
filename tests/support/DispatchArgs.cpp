#include "tests/support/DispatchArgs.h"

#include <gtest/gtest.h>

#include <utility>

namespace ambivox::testing {

namespace {

VARIANT copy_of(VARIANT const& source) {
    VARIANT copy{};
    EXPECT_EQ(VariantCopy(&copy, &source), S_OK);
    return copy;
}

}  // namespace

DispatchArgs::DispatchArgs(std::initializer_list<value> positional) {
    m_rgvarg.reserve(positional.size());
    for (auto it = positional.end(); it != positional.begin();)
        m_rgvarg.push_back(copy_of((--it)->get()));
}

DispatchArgs::~DispatchArgs() {
    for (VARIANT& arg : m_rgvarg)
        VariantClear(&arg);
}

DispatchArgs DispatchArgs::property_value(value v) {
    return DispatchArgs().named(DISPID_PROPERTYPUT, v);
}

DispatchArgs DispatchArgs::named(DISPID parameter, value v) && {
    m_rgvarg.insert(m_rgvarg.begin(), copy_of(v.get()));
    m_named.insert(m_named.begin(), parameter);
    return std::move(*this);
}

DISPPARAMS* DispatchArgs::get() noexcept {
    // The vectors move with the list and grow with it: point into them only now.
    m_params.rgvarg = m_rgvarg.empty() ? nullptr : m_rgvarg.data();
    m_params.rgdispidNamedArgs = m_named.empty() ? nullptr : m_named.data();
    m_params.cArgs = static_cast<UINT>(m_rgvarg.size());
    m_params.cNamedArgs = static_cast<UINT>(m_named.size());
    return &m_params;
}

}  // namespace ambivox::testing
