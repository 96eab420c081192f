// A small command-line reader.
#include "host/tethersync/args.h"

namespace tethersync {

std::vector<std::string> CArgs::Options(const std::string& name) {
    std::vector<std::string> values;
    std::vector<std::string> rest;
    for (size_t i = 0; i < m_args.size(); ++i) {
        const std::string& a = m_args[i];
        if (a == "--") {  // everything after is positional
            rest.insert(rest.end(), m_args.begin() + static_cast<long>(i), m_args.end());
            break;
        }
        if (a == name) {
            if (i + 1 >= m_args.size()) {
                if (m_error.empty())
                    m_error = name + " needs a value";
            } else {
                values.push_back(m_args[++i]);
            }
        } else if (a.size() > name.size() && a.compare(0, name.size(), name) == 0 &&
                   a[name.size()] == '=') {
            values.push_back(a.substr(name.size() + 1));
        } else {
            rest.push_back(a);
        }
    }
    m_args = std::move(rest);
    return values;
}

std::optional<std::string> CArgs::Option(const std::string& name) {
    std::vector<std::string> values = Options(name);
    if (values.empty())
        return std::nullopt;
    return values.back();
}

bool CArgs::Flag(const std::string& name) {
    bool found = false;
    std::vector<std::string> rest;
    for (size_t i = 0; i < m_args.size(); ++i) {
        if (m_args[i] == "--") {
            rest.insert(rest.end(), m_args.begin() + static_cast<long>(i), m_args.end());
            break;
        }
        if (m_args[i] == name)
            found = true;
        else
            rest.push_back(m_args[i]);
    }
    m_args = std::move(rest);
    return found;
}

std::vector<std::string> CArgs::Positionals() {
    std::vector<std::string> out;
    bool literal = false;
    for (const std::string& a : m_args) {
        if (!literal && a == "--") {
            literal = true;
        } else if (!literal && a.size() > 1 && a[0] == '-') {
            if (m_error.empty())
                m_error = "unknown option " + a;
        } else {
            out.push_back(a);
        }
    }
    return out;
}

std::string CArgs::NothingLeft() {
    const std::vector<std::string> rest = Positionals();
    if (!m_error.empty())
        return m_error;
    return rest.empty() ? std::string() : "unexpected argument " + rest.front();
}

}  // namespace tethersync
