#include "readings/CProbeCollection.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <memory>
#include <vector>

#include "platform/automation/SnapshotEnumerator.h"
#include "platform/automation/UniqueBstr.h"
#include "platform/automation/UniqueVariant.h"
#include "readings/CProbe.h"

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

CProbeCollection::CProbeCollection() = default;

CProbeCollection::~CProbeCollection() {
    for (auto const& [number, probe] : m_probes)
        if (CProbe* const own = dynamic_cast<CProbe*>(probe.get())) own->unwatch(this);
}

void CProbeCollection::enter(entries::iterator entry, std::u16string_view name) {
    CProbe* const own = dynamic_cast<CProbe*>(entry->second.get());
    m_free.take(entry->first);
    if (own == nullptr) {
        ++m_unwatched;
        return;
    }
    bool watching = false;
    try {
        own->watch(this);
        watching = true;
        if (!m_namesStale) {
            std::vector<SHORT>& numbers = m_names[std::u16string(name)];
            numbers.insert(std::upper_bound(numbers.begin(), numbers.end(), entry->first),
                           entry->first);
        }
    } catch (...) {
        if (watching) own->unwatch(this);
        m_free.give_back(entry->first);
        // The index may hold the name with no number: it is given up, as after a failed rename.
        m_namesStale = true;
        m_names.clear();
        throw;
    }
}

void CProbeCollection::leave(entries::iterator entry) noexcept {
    try {
        m_free.give_back(entry->first);
    } catch (...) {
        // The number stays taken until Clear: an unnumbered probe gets the next free one.
    }
    CProbe* const own = dynamic_cast<CProbe*>(entry->second.get());
    if (own == nullptr) {
        --m_unwatched;
        return;
    }
    own->unwatch(this);
    if (m_namesStale) return;
    unique_bstr name;
    if (FAILED(own->get_Name(name.put()))) {
        m_namesStale = true;
        m_names.clear();
        return;
    }
    auto const found = m_names.find(name.view());
    if (found == m_names.end()) return;
    std::erase(found->second, entry->first);
    if (found->second.empty()) m_names.erase(found);
}

void CProbeCollection::probe_renamed(IProbe* probe, std::u16string_view previous,
                                     std::u16string_view current) noexcept {
    if (m_namesStale) return;
    try {
        // Every entry of this probe (a probe may be kept under two numbers) follows the rename.
        auto const found = m_names.find(previous);
        if (found == m_names.end()) return;
        std::vector<SHORT> moved;
        for (SHORT number : found->second) {
            auto const entry = m_probes.find(number);
            if (entry != m_probes.end() && entry->second.get() == probe) moved.push_back(number);
        }
        if (moved.empty()) return;
        std::vector<SHORT>& numbers = m_names[std::u16string(current)];
        std::vector<SHORT> merged;
        merged.reserve(numbers.size() + moved.size());
        std::merge(numbers.begin(), numbers.end(), moved.begin(), moved.end(),
                   std::back_inserter(merged));
        numbers.swap(merged);
        // The lookup again: inserting the new name may have moved the old one's node.
        auto const old = m_names.find(previous);
        std::erase_if(old->second, [&](SHORT number) {
            return std::binary_search(moved.begin(), moved.end(), number);
        });
        if (old->second.empty()) m_names.erase(old);
    } catch (...) {
        m_namesStale = true;
        m_names.clear();
    }
}

CProbeCollection::entries::iterator CProbeCollection::find_by_name(BSTR name) {
    std::u16string_view const wanted = bstr_view(name);
    if (m_unwatched == 0 && !m_namesStale) {
        auto const found = m_names.find(wanted);
        if (found == m_names.end()) return m_probes.end();
        return m_probes.find(found->second.front());
    }
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
            // The lowest number from 1 up that no entry has, and once all those are taken, from
            // the lowest negative number up.
            number = m_free.lowest();
            if (number == 0) {
                number = std::numeric_limits<SHORT>::min();
                while (m_probes.count(number) != 0)
                    ++number;
            }
            pProbe->put_Number(number);
        }
        auto const [entry, added] = m_probes.emplace(number, nullptr);
        if (!added) return E_INVALIDARG;
        try {
            entry->second = com_copy(pProbe);
            enter(entry, name.view());
        } catch (...) {
            m_probes.erase(entry);
            throw;
        }
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
        leave(found);
        // Released after the entry is gone, so a probe's destruction sees a consistent collection.
        com_ptr<IProbe> const removed = std::move(found->second);
        m_probes.erase(found);
        return S_OK;
    });
}

HRESULT CProbeCollection::Clear() noexcept {
    for (auto const& [number, probe] : m_probes)
        if (CProbe* const own = dynamic_cast<CProbe*>(probe.get())) own->unwatch(this);
    entries released;
    released.swap(m_probes);
    m_names.clear();
    m_namesStale = false;
    m_unwatched = 0;
    try {
        m_free.reset();
    } catch (...) {
        // The numbers given out stay taken: numbering goes on above them.
    }
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
