#include "readings/CProbeCollection.h"

#include <iterator>
#include <memory>

#include "platform/automation/SnapshotEnumerator.h"
#include "platform/automation/UniqueBstr.h"
#include "platform/automation/UniqueVariant.h"

namespace ambivox {

namespace {

// The probe number an integer index names: its low 16 bits, signed.
SHORT number_of(VARIANT const& index) noexcept {
    return index.vt == VT_I2 ? index.iVal : static_cast<SHORT>(index.lVal & 0xFFFF);
}

bool is_integer(VARIANT const& index) noexcept {
    return index.vt == VT_I2 || index.vt == VT_I4;
}

}  // namespace

HRESULT CProbeCollection::hand_out(IProbe* probe, IDispatch** pItem) noexcept {
    return probe->QueryInterface(IDispatch::iid, reinterpret_cast<void**>(pItem));
}

CProbeCollection::entries::iterator CProbeCollection::find_by_name(BSTR name) {
    std::u16string_view const wanted = bstr_view(name);
    for (auto it = m_probes.begin(); it != m_probes.end(); ++it) {
        unique_bstr probeName;
        if (SUCCEEDED(it->second->get_Name(probeName.put())) && probeName.view() == wanted)
            return it;
    }
    return m_probes.end();
}

HRESULT CProbeCollection::get__NewEnum(IUnknown** pVal) noexcept {
    if (pVal == nullptr) return E_POINTER;
    *pVal = nullptr;
    return hresult_boundary([&] {
        auto snapshot = std::make_shared<enum_snapshot<VARIANT>>();
        for (auto const& [number, probe] : m_probes) {
            VARIANT item;
            item.vt = VT_DISPATCH;
            check_hresult(
                probe->QueryInterface(IDispatch::iid, reinterpret_cast<void**>(&item.pdispVal)));
            unique_variant owned = unique_variant::attach(item);
            snapshot->push_back(owned.get());
        }
        auto enumerator = make_snapshot_enumerator<IEnumVARIANT>(
            std::shared_ptr<enum_snapshot<VARIANT> const>(std::move(snapshot)));
        *pVal = enumerator.detach();
    });
}

HRESULT CProbeCollection::get_Count(LONG* pVal) noexcept {
    if (pVal == nullptr) return E_POINTER;
    *pVal = static_cast<LONG>(m_probes.size());
    return S_OK;
}

HRESULT CProbeCollection::Add(IProbe* pProbe) noexcept {
    if (pProbe == nullptr) return E_POINTER;
    return hresult_boundary([&]() -> HRESULT {
        unique_bstr name;
        pProbe->get_Name(name.put());
        SHORT number = -1;
        if (FAILED(pProbe->get_Number(&number))) number = -1;
        if (name.empty()) return E_INVALIDARG;
        if (number == -1) {
            // The lowest number from 1 up that no entry has.
            number = 1;
            while (m_probes.count(number) != 0)
                ++number;
            pProbe->put_Number(number);
        }
        if (m_probes.count(number) != 0) return E_INVALIDARG;
        m_probes.emplace(number, com_copy(pProbe));
        return S_OK;
    });
}

HRESULT CProbeCollection::Item(VARIANT Index, IDispatch** pItem) noexcept {
    if (pItem == nullptr) return E_POINTER;
    *pItem = nullptr;
    return hresult_boundary([&]() -> HRESULT {
        if (is_integer(Index)) {
            LONG const position = Index.vt == VT_I2 ? Index.iVal : Index.lVal;
            if (position < 1 || static_cast<std::size_t>(position) > m_probes.size())
                return E_INVALIDARG;
            return hand_out(std::next(m_probes.begin(), position - 1)->second.get(), pItem);
        }
        if (Index.vt == VT_BSTR) {
            auto const found = find_by_name(Index.bstrVal);
            if (found == m_probes.end()) return E_INVALIDARG;
            return hand_out(found->second.get(), pItem);
        }
        return E_INVALIDARG;
    });
}

HRESULT CProbeCollection::Remove(VARIANT Index) noexcept {
    return hresult_boundary([&]() -> HRESULT {
        auto found = m_probes.end();
        if (is_integer(Index))
            found = m_probes.find(number_of(Index));
        else if (Index.vt == VT_BSTR)
            found = find_by_name(Index.bstrVal);
        if (found == m_probes.end()) return E_INVALIDARG;
        // Released after the entry is gone, so a probe's destruction sees a consistent collection.
        com_ptr<IProbe> const removed = std::move(found->second);
        m_probes.erase(found);
        return S_OK;
    });
}

HRESULT CProbeCollection::Clear() noexcept {
    entries released;
    released.swap(m_probes);
    return S_OK;
}

HRESULT CProbeCollection::ItemByNumber(VARIANT Index, IDispatch** pItem) noexcept {
    if (pItem == nullptr) return E_POINTER;
    *pItem = nullptr;
    SHORT const number = is_integer(Index) ? number_of(Index) : SHORT{1};
    auto const found = m_probes.find(number);
    if (found == m_probes.end()) return E_INVALIDARG;
    return hand_out(found->second.get(), pItem);
}

}  // namespace ambivox
