#include "connector/TextPageConverter.h"

#include "connector/UnifiedDocuments.h"
#include "platform/automation/UniqueBstr.h"
#include "platform/base/HResultBoundary.h"
#include "platform/base/WideFormat.h"

namespace ambivox {

namespace {

using docs = UnifiedDocuments;

// Reads a page field by field. Runs of "|" separate fields; no field is ever empty.
class field_reader {
public:
    explicit field_reader(std::u16string_view page) noexcept : m_page(page) {}

    // The next field, or empty text when there is none (the page is then exhausted). Reading an
    // exhausted page is an error.
    std::u16string_view read() {
        if (m_exhausted) throw_hresult(E_INVALIDARG);
        while (m_pos < m_page.size() && m_page[m_pos] == u'|')
            ++m_pos;
        std::size_t const start = m_pos;
        while (m_pos < m_page.size() && m_page[m_pos] != u'|')
            ++m_pos;
        m_found = m_pos > start;
        if (!m_found) m_exhausted = true;
        return m_page.substr(start, m_pos - start);
    }
    // Whether the last read found a field.
    bool found() const noexcept { return m_found; }

private:
    std::u16string_view m_page;
    std::size_t m_pos = 0;
    bool m_found = false;
    bool m_exhausted = false;
};

bool is_space(char16_t c) noexcept {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
}

// "Model N3" is written as "N3": leading letters of "Model", then leading white space, go.
std::u16string_view stripped_model(std::u16string_view field) noexcept {
    std::size_t i = 0;
    while (i < field.size() &&
           std::u16string_view(u"Model").find(field[i]) != std::u16string_view::npos)
        ++i;
    while (i < field.size() && is_space(field[i]))
        ++i;
    return field.substr(i);
}

void append(std::u16string& out, std::u16string_view templ,
            std::initializer_list<format_argument> args = {}) {
    wide_format_to(out, templ, args);
}

// Appends a template whose one %s takes a device text.
void append_text(std::u16string& out, std::u16string_view templ, std::u16string_view text) {
    wide_format_to(out, templ, {docs::escaped(text)});
}

// The unit block's first two fields: its name (opening the block), then its model.
void append_unit_head(std::u16string& out, int unitCounter, std::u16string_view field) {
    if (unitCounter == 0) {
        append(out, docs::unit_start);
        append_text(out, docs::name, field);
    } else {
        append_text(out, docs::model, stripped_model(field));
    }
}

// The data document takes the unit identifier, which only the configuration page knows.
void finish_data(TextPageConverter::documents& result, std::u16string_view unitId,
                 std::u16string const& dataBody) {
    append_text(result.data, docs::root_start, unitId);
    result.data += dataBody;
}

void append_unit_tail(std::u16string& out) {
    append_text(out, docs::website_element, docs::website);
    append(out, docs::manufacturer);
    append(out, docs::unit_end);
}

// The configuration document, and the data document finished with the unit identifier. Flat and
// grouped configuration pages share their shape (the unit identifier, then the unit block opening
// with name and model, then the probes) and differ only in the block's later fields and in the
// probes: `unit_field(config, index, field, unitId)` writes the block's field `index` (2 on) and
// answers whether the block is still open; `probe_field(config, field, page)` writes the probe
// that starts with `field`, reading the rest of it from the page.
template <class UnitField, class ProbeField>
TextPageConverter::documents write_documents(std::u16string_view configPage,
                                             std::u16string const& dataBody, UnitField unit_field,
                                             ProbeField probe_field) {
    TextPageConverter::documents result;
    std::u16string& config = result.configuration;
    field_reader page(configPage);
    std::u16string_view const unitId = page.read();
    append_text(config, docs::root_start, unitId);
    std::u16string_view field = page.read();
    int unitCounter = 0;
    bool unitOpen = true;
    while (page.found()) {
        if (!unitOpen)
            probe_field(config, field, page);
        else if (unitCounter < 2)
            append_unit_head(config, unitCounter++, field);
        else
            unitOpen = unit_field(config, unitCounter++, field, unitId);
        field = page.read();
    }
    append(config, docs::root_end);
    finish_data(result, unitId, dataBody);
    return result;
}

TextPageConverter::documents convert_flat(std::u16string_view configPage,
                                          std::u16string_view dataPage) {
    std::u16string dataBody;
    field_reader data(dataPage);
    data.read();  // the first label
    for (std::int64_t probe = 1; data.found(); ++probe) {
        append(dataBody, docs::data_probe, {probe});
        append_text(dataBody, docs::value, data.read());
        append(dataBody, docs::probe_end);
        data.read();  // the next label
    }
    append(dataBody, docs::root_end);

    return write_documents(
        configPage, dataBody,
        [](std::u16string& config, int, std::u16string_view, std::u16string_view unitId) {
            append_text(config, docs::serial_number, unitId);
            append(config, docs::empty_release_date);
            append(config, docs::empty_firmware_version);
            append_unit_tail(config);
            return false;
        },
        [](std::u16string& config, std::u16string_view field, field_reader& page) {
            append_text(config, docs::flat_config_probe, field);
            append_text(config, docs::name, page.read());
            append(config, docs::flat_units);
            append(config, docs::probe_end);
        });
}

struct probe_kind {
    std::u16string_view type;
    std::u16string_view units;
};

probe_kind kind_of(std::u16string_view letter, std::u16string_view temperatureUnit) noexcept {
    if (letter == u"T") return {u"Temperature", temperatureUnit};
    if (letter == u"H") return {u"Humidity", u"H"};
    if (letter == u"W") return {u"Wetness", u"W"};
    return {letter, u""};
}

TextPageConverter::documents convert_grouped(std::u16string_view configPage,
                                             std::u16string_view dataPage) {
    std::u16string dataBody;
    field_reader data(dataPage);
    std::u16string_view const temperatureUnit = data.read();
    std::u16string_view value = data.read();
    std::int64_t group = 1;
    int position = 0;
    for (std::int64_t probe = 1; data.found(); ++probe) {
        if (position == 0) append(dataBody, docs::data_group, {group});
        append(dataBody, docs::data_probe, {probe});
        append_text(dataBody, docs::value, value);
        append(dataBody, docs::probe_end);
        value = data.read();
        if (++position == 3) {
            ++group;
            position = 0;
            append(dataBody, docs::group_end);
        }
    }
    append(dataBody, docs::root_end);

    position = 0;
    std::int64_t probe = 1;
    return write_documents(
        configPage, dataBody,
        [](std::u16string& config, int index, std::u16string_view field,
           std::u16string_view unitId) {
            if (index == 2) {
                append_text(config, docs::serial_number, unitId);
                return true;
            }
            append(config, docs::empty_release_date);
            append_text(config, docs::firmware_version, field);
            append_unit_tail(config);
            return false;
        },
        [&](std::u16string& config, std::u16string_view field, field_reader& page) {
            if (position == 0) {
                append_text(config, docs::config_group, field);
                append_text(config, docs::name, page.read());
                field = page.read();
            }
            probe_kind const kind = kind_of(field, temperatureUnit);
            append(config, docs::grouped_config_probe, {probe, docs::escaped(kind.type)});
            append_text(config, docs::name, page.read());
            append_text(config, docs::units, kind.units);
            append(config, docs::probe_end);
            ++probe;
            if (position == 2) {
                append(config, docs::group_end);
                position = 0;
            } else {
                ++position;
            }
        });
}

}  // namespace

TextPageConverter::documents TextPageConverter::convert(std::u16string_view model,
                                                        std::u16string_view configPage,
                                                        std::u16string_view dataPage) {
    return model == u"NX2" ? convert_grouped(configPage, dataPage)
                           : convert_flat(configPage, dataPage);
}

HRESULT TextPageConverter::ConvertTextPages(BSTR model, BSTR configPage, BSTR* configDocument,
                                            BSTR dataPage, BSTR* dataDocument) noexcept {
    return hresult_boundary([&]() -> HRESULT {
        documents const converted =
            convert(bstr_view(model), bstr_view(configPage), bstr_view(dataPage));
        unique_bstr data(converted.data);
        if (configDocument == nullptr) {
            if (dataDocument != nullptr) *dataDocument = data.release();
            return E_POINTER;
        }
        unique_bstr config(converted.configuration);
        if (dataDocument != nullptr) *dataDocument = data.release();
        *configDocument = config.release();
        return S_OK;
    });
}

}  // namespace ambivox
