#include "platform/automation/UniqueVariant.h"

#include <utility>

#include "platform/automation/UniqueBstr.h"
#include "platform/base/HResultBoundary.h"

namespace ambivox {

unique_variant::unique_variant(VARIANT const& source) {
    VariantInit(&m_value);
    check_hresult(VariantCopy(&m_value, &source));
}

unique_variant::unique_variant(unique_variant const& other) : unique_variant(other.m_value) {}

unique_variant::unique_variant(unique_variant&& other) noexcept : m_value(other.m_value) {
    VariantInit(&other.m_value);
}

unique_variant& unique_variant::operator=(unique_variant other) noexcept {
    std::swap(m_value, other.m_value);
    return *this;
}

unique_variant unique_variant::attach(VARIANT& source) noexcept {
    unique_variant result;
    result.m_value = source;
    VariantInit(&source);
    return result;
}

unique_variant unique_variant::from(LONG value) noexcept {
    unique_variant result;
    result.m_value.vt = VT_I4;
    result.m_value.lVal = value;
    return result;
}

unique_variant unique_variant::from(SHORT value) noexcept {
    unique_variant result;
    result.m_value.vt = VT_I2;
    result.m_value.iVal = value;
    return result;
}

unique_variant unique_variant::from(double value) noexcept {
    unique_variant result;
    result.m_value.vt = VT_R8;
    result.m_value.dblVal = value;
    return result;
}

unique_variant unique_variant::from(LONGLONG value) noexcept {
    unique_variant result;
    result.m_value.vt = VT_I8;
    result.m_value.llVal = value;
    return result;
}

unique_variant unique_variant::from(std::u16string_view text) {
    unique_variant result;
    result.m_value.bstrVal = make_bstr(text);
    result.m_value.vt = VT_BSTR;
    return result;
}

VARIANT* unique_variant::put() noexcept {
    reset();
    return &m_value;
}

VARIANT unique_variant::release() noexcept {
    VARIANT result = m_value;
    VariantInit(&m_value);
    return result;
}

void unique_variant::reset() noexcept {
    VariantClear(&m_value);
    VariantInit(&m_value);
}

void unique_variant::copy_to(VARIANT* out) const {
    VariantInit(out);
    check_hresult(VariantCopy(out, &m_value));
}

}  // namespace ambivox
