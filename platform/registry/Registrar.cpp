#include "platform/registry/Registrar.h"

#include <algorithm>
#include <optional>

#include "platform/base/CaseFolding.h"
#include "platform/base/Errors.h"
#include "platform/base/HResultBoundary.h"
#include "platform/registry/Registry.h"
#include "platform/registry/UniqueHkey.h"

namespace ambivox {

namespace {

// A script that does not parse.
struct script_error {};

enum class removal { normal, no_remove, force_remove, remove };

struct value_entry {
    std::u16string name;
    DWORD type = REG_SZ;
    std::u16string text;  // REG_SZ
    DWORD number = 0;     // REG_DWORD
};

struct key_entry {
    removal mode = removal::normal;
    std::u16string name;
    std::optional<value_entry> default_value;
    std::vector<value_entry> values;
    std::vector<key_entry> keys;
};

struct root_entry {
    HKEY root;
    std::vector<key_entry> keys;
};

// Reads the expanded script text token by token.
class parser {
public:
    explicit parser(std::u16string_view text) : m_text(text) {}

    std::vector<root_entry> script() {
        std::vector<root_entry> roots;
        while (!at_end()) {
            std::u16string const name = fold_name(token());
            HKEY root;
            if (name == u"hkcr" || name == u"hkey_classes_root")
                root = HKEY_CLASSES_ROOT;
            else if (name == u"hklm" || name == u"hkey_local_machine")
                root = HKEY_LOCAL_MACHINE;
            else if (name == u"hkcu" || name == u"hkey_current_user")
                root = HKEY_CURRENT_USER;
            else
                throw script_error{};
            expect(u'{');
            roots.push_back({root, body(nullptr, 1)});
        }
        return roots;
    }

private:
    static constexpr int max_depth = 32;

    // Keys and values up to the closing brace; `owner` receives the values (roots take none).
    std::vector<key_entry> body(key_entry* owner, int depth) {
        if (depth > max_depth) throw script_error{};
        std::vector<key_entry> keys;
        for (;;) {
            if (at_end()) throw script_error{};
            if (peek() == u'}') {
                ++m_pos;
                return keys;
            }
            bool quoted = false;
            std::u16string word = token(&quoted);
            if (!quoted && fold_name(word) == u"val") {
                if (owner == nullptr) throw script_error{};
                value_entry v = value(token());
                owner->values.push_back(std::move(v));
                continue;
            }
            key_entry key;
            if (!quoted) {
                std::u16string const folded = fold_name(word);
                if (folded == u"noremove") key.mode = removal::no_remove;
                if (folded == u"forceremove") key.mode = removal::force_remove;
                if (folded == u"delete") key.mode = removal::remove;
                if (key.mode != removal::normal) word = token();
            }
            if (word.empty()) throw script_error{};
            key.name = std::move(word);
            skip_space();
            if (!at_end() && peek() == u'=') key.default_value = value(std::u16string());
            skip_space();
            if (!at_end() && peek() == u'{') {
                ++m_pos;
                key.keys = body(&key, depth + 1);
            }
            keys.push_back(std::move(key));
        }
    }

    // `= s 'text'` or `= d 'number'` after a value's name.
    value_entry value(std::u16string name) {
        expect(u'=');
        value_entry v;
        v.name = std::move(name);
        std::u16string const type = fold_name(token());
        std::u16string data = token();
        if (type == u"s") {
            v.type = REG_SZ;
            v.text = std::move(data);
        } else if (type == u"d") {
            v.type = REG_DWORD;
            if (data.empty() || data.size() > 10) throw script_error{};
            unsigned long long n = 0;
            for (char16_t c : data) {
                if (c < u'0' || c > u'9') throw script_error{};
                n = n * 10 + static_cast<unsigned>(c - u'0');
            }
            if (n > 0xFFFFFFFFull) throw script_error{};
            v.number = static_cast<DWORD>(n);
        } else {
            throw script_error{};
        }
        return v;
    }

    bool at_end() {
        skip_space();
        return m_pos >= m_text.size();
    }
    char16_t peek() const { return m_text[m_pos]; }
    void skip_space() {
        while (m_pos < m_text.size() && (m_text[m_pos] == u' ' || m_text[m_pos] == u'\t' ||
                                         m_text[m_pos] == u'\r' || m_text[m_pos] == u'\n'))
            ++m_pos;
    }
    void expect(char16_t c) {
        if (at_end() || peek() != c) throw script_error{};
        ++m_pos;
    }

    // A quoted string ('' stands for ') or a bare word up to white space or punctuation.
    std::u16string token(bool* quoted = nullptr) {
        if (at_end()) throw script_error{};
        std::u16string result;
        if (peek() == u'\'') {
            if (quoted != nullptr) *quoted = true;
            ++m_pos;
            for (;;) {
                if (m_pos >= m_text.size()) throw script_error{};
                char16_t const c = m_text[m_pos++];
                if (c == u'\'') {
                    if (m_pos < m_text.size() && m_text[m_pos] == u'\'') {
                        result.push_back(u'\'');
                        ++m_pos;
                        continue;
                    }
                    return result;
                }
                result.push_back(c);
            }
        }
        while (m_pos < m_text.size()) {
            char16_t const c = m_text[m_pos];
            if (c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'{' || c == u'}' ||
                c == u'=' || c == u'\'')
                break;
            result.push_back(c);
            ++m_pos;
        }
        if (result.empty()) throw script_error{};
        return result;
    }

    std::u16string_view m_text;
    std::size_t m_pos = 0;
};

HRESULT win32(LSTATUS status) noexcept {
    return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<DWORD>(status));
}

HRESULT delete_tree(HKEY parent, std::u16string const& name) noexcept {
    LSTATUS const status = RegDeleteTreeW(parent, name.c_str());
    return status == ERROR_FILE_NOT_FOUND ? S_OK : win32(status);
}

HRESULT set_value(HKEY root, std::u16string const& path, value_entry const& v) noexcept {
    if (v.type == REG_DWORD) return win32(reg_set_dword(root, path, v.name, v.number));
    return win32(reg_set_string(root, path, v.name, v.text));
}

std::u16string below(std::u16string const& parent, std::u16string const& name) {
    return parent.empty() ? name : parent + u'\\' + name;
}

// Every step names its key by the path from the root, never through a handle to its parent:
// registration tools running at once force-remove keys that the others are writing, and a
// handle to a removed key is of no more use. Whoever removed a key writes it whole again after.
HRESULT register_key(HKEY root, std::u16string const& parent, key_entry const& key) {
    std::u16string const path = below(parent, key.name);
    if (key.mode == removal::force_remove || key.mode == removal::remove) {
        HRESULT const hr = delete_tree(root, path);
        if (FAILED(hr) || key.mode == removal::remove) return hr;
    }
    unique_hkey handle;
    HRESULT hr = win32(RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                       KEY_ALL_ACCESS, nullptr, handle.put(), nullptr));
    handle.reset();
    if (SUCCEEDED(hr) && key.default_value) hr = set_value(root, path, *key.default_value);
    for (std::size_t i = 0; SUCCEEDED(hr) && i < key.values.size(); ++i)
        hr = set_value(root, path, key.values[i]);
    for (std::size_t i = 0; SUCCEEDED(hr) && i < key.keys.size(); ++i)
        hr = register_key(root, path, key.keys[i]);
    return hr;
}

HRESULT unregister_key(HKEY root, std::u16string const& parent, key_entry const& key) {
    std::u16string const path = below(parent, key.name);
    if (key.mode != removal::no_remove) return delete_tree(root, path);
    unique_hkey handle;
    LSTATUS const status = RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS, handle.put());
    if (status == ERROR_FILE_NOT_FOUND) return S_OK;
    HRESULT hr = win32(status);
    if (FAILED(hr)) return hr;
    for (auto const& v : key.values) {
        LSTATUS const deleted = RegDeleteValueW(handle.get(), v.name.c_str());
        if (deleted != ERROR_SUCCESS && deleted != ERROR_FILE_NOT_FOUND) {
            hr = win32(deleted);
            break;
        }
    }
    handle.reset();
    for (std::size_t i = 0; SUCCEEDED(hr) && i < key.keys.size(); ++i)
        hr = unregister_key(root, path, key.keys[i]);
    return hr;
}

}  // namespace

void Registrar::add_replacement(std::u16string_view name, std::u16string_view value) {
    m_replacements.emplace_back(fold_name(name), std::u16string(value));
}

std::u16string Registrar::quote_escaped(std::u16string_view value) {
    std::u16string result;
    result.reserve(value.size());
    for (char16_t c : value) {
        result.push_back(c);
        if (c == u'\'') result.push_back(u'\'');
    }
    return result;
}

HRESULT Registrar::register_script(std::u16string_view script) const noexcept {
    return run(script, true);
}

HRESULT Registrar::unregister_script(std::u16string_view script) const noexcept {
    return run(script, false);
}

HRESULT Registrar::run(std::u16string_view script, bool registering) const noexcept {
    return hresult_boundary([&]() -> HRESULT {
        // Replacements first, as the registrar does, so a variable may stand anywhere.
        std::u16string expanded;
        expanded.reserve(script.size());
        for (std::size_t i = 0; i < script.size(); ++i) {
            if (script[i] != u'%') {
                expanded.push_back(script[i]);
                continue;
            }
            std::size_t const end = script.find(u'%', i + 1);
            if (end == std::u16string_view::npos) return DISP_E_EXCEPTION;
            std::u16string const name = fold_name(script.substr(i + 1, end - i - 1));
            if (name.empty()) {
                expanded.push_back(u'%');
            } else {
                auto const found = std::find_if(m_replacements.begin(), m_replacements.end(),
                                                [&](auto const& r) { return r.first == name; });
                if (found == m_replacements.end()) return DISP_E_EXCEPTION;
                expanded += found->second;
            }
            i = end;
        }

        std::vector<root_entry> roots;
        try {
            roots = parser(expanded).script();
        } catch (script_error const&) {
            return DISP_E_EXCEPTION;
        }
        for (auto const& root : roots) {
            for (auto const& key : root.keys) {
                HRESULT const hr = registering ? register_key(root.root, {}, key)
                                               : unregister_key(root.root, {}, key);
                if (FAILED(hr)) return hr;
            }
        }
        return S_OK;
    });
}

}  // namespace ambivox
