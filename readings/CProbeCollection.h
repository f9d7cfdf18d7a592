// CProbeCollection: a device's probes, keyed and ordered by probe number. For `Item` an integer
// index is a 1-based position; for `Remove` and `ItemByNumber` it is a probe number.
//
// The free numbers and the probes' names are indexed, so that numbering an unnumbered probe and
// finding a probe by name cost a logarithm, not a walk. The library's own probes report their
// renames to the index; while the collection holds a probe of any other kind, or the index could
// not follow a rename for want of memory, finding by name walks the probes as before.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ambivox/AmbivoxSDK.h"
#include "platform/automation/DispatchImpl.h"
#include "platform/automation/SupportsErrorInfo.h"
#include "platform/com/Implements.h"
#include "readings/FreeProbeNumbers.h"
#include "readings/ProbeNameObserver.h"

namespace ambivox {

class CProbeCollection final : public implements<CProbeCollection, dispatch<IProbeCollection>,
                                                 supports_error_info<IProbeCollection>>,
                               private ProbeNameObserver {
public:
    CProbeCollection();

    // *pVal receives an IEnumVARIANT over a snapshot of the probes, owned by the caller.
    HRESULT get__NewEnum(IUnknown** pVal) noexcept override;
    HRESULT get_Count(LONG* pVal) noexcept override;
    HRESULT Add(IProbe* pProbe) noexcept override;
    HRESULT Item(VARIANT Index, IDispatch** pItem) noexcept override;
    HRESULT Remove(VARIANT Index) noexcept override;
    HRESULT Clear() noexcept override;
    HRESULT ItemByNumber(VARIANT Index, IDispatch** pItem) noexcept override;

private:
    using entries = std::map<SHORT, com_ptr<IProbe>>;

    // Lets the index be searched with a name as a view, without copying it.
    struct name_hash {
        using is_transparent = void;
        std::size_t operator()(std::u16string_view name) const noexcept {
            return std::hash<std::u16string_view>{}(name);
        }
    };
    // Each name borne by a watched probe to the numbers it is kept under, in ascending order.
    using name_index =
        std::unordered_map<std::u16string, std::vector<SHORT>, name_hash, std::equal_to<>>;

    ~CProbeCollection() override;

    // The first entry, in number order, whose probe bears `name`; end() when none does.
    entries::iterator find_by_name(BSTR name);
    // The entry's probe enters or leaves the indexes; leave before the entry is erased.
    void enter(entries::iterator entry, std::u16string_view name);
    void leave(entries::iterator entry) noexcept;
    void probe_renamed(IProbe* probe, std::u16string_view previous,
                       std::u16string_view current) noexcept override;
    static HRESULT hand_out(IProbe* probe, IDispatch** pItem) noexcept;

    entries m_probes;
    FreeProbeNumbers m_free;
    name_index m_names;
    std::size_t m_unwatched = 0;  // entries whose renames nobody reports
    bool m_namesStale = false;    // a rename the index could not follow
};

}  // namespace ambivox
