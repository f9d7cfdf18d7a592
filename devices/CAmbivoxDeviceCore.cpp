#include "devices/CAmbivoxDeviceCore.h"

#include <boost/lexical_cast/try_lexical_convert.hpp>
#include <charconv>
#include <optional>
#include <system_error>

#include "platform/automation/EnumeratedItems.h"
#include "platform/automation/UniqueVariant.h"
#include "platform/base/CodePage.h"
#include "platform/com/ComRuntime.h"
#include "readings/CProbeCollection.h"

namespace ambivox {

namespace {

// The whole text as a decimal number of type T, or nothing. No exception: a device document of
// many malformed or out-of-range records would pay for one per record.
template <class T>
std::optional<T> number_from(std::u16string_view text) {
    for (char16_t c : text)
        if (c > 0x7F) return std::nullopt;
    std::string const narrow(text.begin(), text.end());
    T value{};
    // from_chars spares a stream per value; what it does not take whole (a leading '+', an
    // underflow) goes the slow way, so that every text keeps the answer it always had.
    auto const [end, error] = std::from_chars(narrow.data(), narrow.data() + narrow.size(), value);
    if (error == std::errc{} && end == narrow.data() + narrow.size()) return value;
    if (!boost::conversion::try_lexical_convert(narrow, value)) return std::nullopt;
    return value;
}

}  // namespace

HRESULT CAmbivoxDeviceCore::step_factory::create(REFIID riid, void** object) noexcept {
    if (in_step && !asked) {
        asked = true;
        if (FAILED(CoGetClassObject(clsid, CLSCTX_ALL, nullptr, IClassFactory::iid,
                                    factory.put_void())))
            factory = nullptr;
    }
    if (!factory) return CoCreateInstance(clsid, nullptr, CLSCTX_ALL, riid, object);
    return factory->CreateInstance(nullptr, riid, object);
}

CAmbivoxDeviceCore::CAmbivoxDeviceCore(std::u16string_view model)
    : m_probes(make<CProbeCollection>()), m_name(u""), m_model(model), m_temperatureUnit(u"") {}

HRESULT CAmbivoxDeviceCore::get_Model(BSTR* pVal) noexcept {
    if (pVal == nullptr) return E_OUTOFMEMORY;
    return hresult_boundary([&] { *pVal = m_model.copy(); });
}

HRESULT CAmbivoxDeviceCore::put_Model(BSTR newVal) noexcept {
    std::u16string_view const model = bstr_view(newVal);
    if (model.empty()) return E_INVALIDARG;
    if (std::u16string_view(u"ModelQ").find(model) == std::u16string_view::npos &&
        std::u16string_view(u"N3 N7 N15 NX2").find(model) == std::u16string_view::npos)
        return E_INVALIDARG;
    return hresult_boundary([&] { m_model = unique_bstr::copy_of(newVal); });
}

HRESULT CAmbivoxDeviceCore::get_Name(BSTR* pVal) noexcept {
    if (pVal == nullptr) return E_OUTOFMEMORY;
    return hresult_boundary([&] { *pVal = m_name.copy(); });
}

HRESULT CAmbivoxDeviceCore::put_Name(BSTR newVal) noexcept {
    std::u16string_view const name = bstr_view(newVal);
    if (name.empty() || name.size() > max_name_length || name == m_name.view()) return E_INVALIDARG;
    return hresult_boundary([&] { m_name = unique_bstr::copy_of(newVal); });
}

HRESULT CAmbivoxDeviceCore::get_Probes(IDispatch** pVal) noexcept {
    if (pVal == nullptr) return E_OUTOFMEMORY;
    return m_probes->QueryInterface(IDispatch::iid, reinterpret_cast<void**>(pVal));
}

HRESULT CAmbivoxDeviceCore::get_Probe(SHORT probeId, IDispatch** pVal) noexcept {
    VARIANT index;
    index.vt = VT_I2;
    index.iVal = probeId;
    return m_probes->ItemByNumber(index, pVal);
}

HRESULT CAmbivoxDeviceCore::add_or_update_probe(ConfigProbe const& record,
                                                bool& temperatureUnitTaken) noexcept {
    return hresult_boundary([&]() -> HRESULT {
        std::optional<SHORT> const parsedNumber = number_from<SHORT>(record.id);
        std::optional<SHORT> const parsedGroup = number_from<SHORT>(record.group);
        if (!parsedNumber || !parsedGroup) return E_INVALIDARG;
        SHORT const number = *parsedNumber;
        SHORT const group = *parsedGroup;
        if (number == -1) return E_INVALIDARG;

        if (record.type == u"Temperature" && !temperatureUnitTaken) {
            // The first of these letters found in the units text, so "°F" gives "F".
            std::u16string_view letter;
            for (std::u16string_view candidate : {u"C", u"K", u"F", u"R"}) {
                if (record.units.find(candidate) != std::u16string::npos) {
                    letter = candidate;
                    break;
                }
            }
            m_temperatureUnit = unique_bstr(letter);
            temperatureUnitTaken = true;
        }

        VARIANT index;
        index.vt = VT_I2;
        index.iVal = number;
        com_ptr<IDispatch> existing;
        HRESULT const found = m_probes->ItemByNumber(index, existing.put());
        unique_bstr const name(record.name);
        if (SUCCEEDED(found) && existing) {
            // A known probe keeps its identity, type, number and group; only its name follows.
            if (auto probe = existing.try_as<IProbe>()) probe->put_Name(name.get());
            return found;
        }

        com_ptr<IProbe> probe;
        HRESULT const created = m_probeFactory.create(IProbe::iid, probe.put_void());
        if (FAILED(created)) return created;
        unique_bstr const type(record.type);
        probe->put_Type(type.get());
        probe->put_Name(name.get());
        probe->put_Number(number);
        probe->put_Group(group);
        return add_probe(probe.get());
    });
}

DataProbe const* CAmbivoxDeviceCore::find_reading(CXMLAmbivoxData const& data,
                                                  std::u16string_view key) {
    // Outside a poll step, or with one unit, a lookup per unit is as cheap as any index.
    if (!m_pointFactory.in_step || data.units().size() < 2) {
        for (auto const& [id, unit] : data.units())
            if (auto const found = unit->probes.find(key); found != unit->probes.end())
                return found->second;
        return nullptr;
    }
    if (m_indexedData != &data) {
        m_readings.clear();
        m_indexedData = nullptr;
        for (auto const& [id, unit] : data.units())
            for (auto const& [probeId, record] : unit->probes)
                m_readings.try_emplace(probeId, record);
        m_indexedData = &data;
    }
    auto const found = m_readings.find(key);
    return found == m_readings.end() ? nullptr : found->second;
}

std::vector<com_ptr<IProbe>> CAmbivoxDeviceCore::probes_in_order() noexcept {
    std::vector<com_ptr<IProbe>> result;
    hresult_boundary([&] {
        com_ptr<IUnknown> unknown;
        check_hresult(m_probes->get__NewEnum(unknown.put()));
        result = EnumeratedItems::of<IProbe>(unknown.get());
    });
    return result;
}

HRESULT CAmbivoxDeviceCore::add_probe(IProbe* probe) noexcept {
    if (probe == nullptr) return E_OUTOFMEMORY;
    return m_probes->Add(probe);
}

HRESULT CAmbivoxDeviceCore::create_data_point(IProbe* probe, CXMLAmbivoxData const* data,
                                              IDataPoint** point) noexcept {
    if (data == nullptr || point == nullptr) return E_OUTOFMEMORY;
    *point = nullptr;
    return hresult_boundary([&]() -> HRESULT {
        SHORT number = 0;
        probe->get_Number(&number);
        std::string const digits = std::to_string(number);
        std::u16string const key(digits.begin(), digits.end());

        DataProbe const* const reading = find_reading(*data, key);
        if (reading == nullptr) return E_OUTOFMEMORY;

        // A value that is no decimal number (empty, "abc", "nan", a text broken by markup) is no
        // reading: it becomes the no-reading value clients already know, not a plausible but
        // false 0.
        double value = no_reading;
        bool const decimal =
            !reading->value_in_pieces &&
            reading->value.find_first_not_of(u"0123456789+-.eE") == std::u16string::npos;
        if (decimal) value = number_from<double>(reading->value).value_or(no_reading);

        com_ptr<IDataPoint> created;
        if (FAILED(m_pointFactory.create(IDataPoint::iid, created.put_void())))
            return E_OUTOFMEMORY;
        created->put_Value(unique_variant::from(value).get());

        unique_bstr type;
        probe->get_Type(type.put());
        std::u16string_view unit;
        bool setUnit = true;
        if (type.view() == u"Temperature")
            unit = m_temperatureUnit.view();
        else if (type.view() == u"Humidity")
            unit = u"H";
        else if (type.view() == u"Wetness")
            unit = u"W";
        else
            setUnit = false;
        if (setUnit) created->put_Unit(unique_bstr(unit).get());
        return created->QueryInterface(IDataPoint::iid, reinterpret_cast<void**>(point));
    });
}

}  // namespace ambivox
