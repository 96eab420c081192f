// The wizard's dialog templates and the language library that holds their texts.
#include "setup/wizard/wizard_resources.h"

#include <vector>

#include "host/tamarackcmn/tamarack_cmn.h"

namespace velkin {
namespace {

using ui::ControlKind;

struct LayoutEntry {
    int32_t tmpl;
    int32_t id;
    ControlKind kind;
    bool shown;
};

constexpr ControlKind L = ControlKind::Label;
constexpr ControlKind E = ControlKind::Edit;
constexpr ControlKind P = ControlKind::Password;
constexpr ControlKind B = ControlKind::Button;
constexpr ControlKind PIC = ControlKind::Picture;

// The controls of each template, in tab order. Labels numbered from 3001 have no
// identifier of their own in the dialog.
constexpr LayoutEntry LAYOUT[] = {
    {106, 1089, L, true},
    {106, 1090, L, false},
    {106, 3001, L, true},
    {106, 1069, L, true},
    {106, 3002, L, true},
    {106, 1014, L, true},
    {106, 3003, L, true},
    {106, 1070, L, true},
    {106, 3004, L, true},
    {106, 1071, L, true},
    {106, 1075, L, true},
    {106, 1073, L, false},
    {106, 1074, L, true},
    {106, 3100, PIC, true},

    {107, 3001, L, true},
    {107, 3002, L, true},
    {107, 1069, L, true},
    {107, 3003, L, false},
    {107, 1014, L, false},
    {107, 3004, L, true},
    {107, 3005, L, true},
    {107, 3100, PIC, true},

    {129, 3001, L, true},
    {129, 3002, L, true},
    {129, 1006, ControlKind::DropList, true},
    {129, 3100, PIC, true},

    {131, 1009, L, true},
    {131, 3001, L, true},
    {131, 1010, ControlKind::SortedDropList, true},
    {131, 3100, PIC, true},

    {134, 1017, L, true},
    {134, 1018, L, true},
    {134, 3001, L, true},
    {134, 1019, E, true},
    {134, 3002, L, true},
    {134, 1065, P, true},
    {134, 1030, L, true},
    {134, 1031, L, true},

    {140, 1049, L, true},
    {140, 1048, L, true},
    {140, 1050, L, true},
    {140, 3001, L, true},
    {140, 1052, E, true},
    {140, 1053, B, true},

    {141, 1055, L, true},
    {141, 3002, L, true},
    {141, 3100, PIC, true},
    {141, 1056, L, true},
    {141, 1058, L, true},
    {141, 3001, L, true},
    {141, 1060, E, true},

    {142, 1062, L, true},
    {142, 3001, L, true},
    {142, 3002, L, true},
    {142, 3100, PIC, true},

    {151, 3001, L, true},
    {151, 3002, L, true},
    {151, 3003, L, true},
    {151, 1068, E, true},
    {151, 3004, L, true},
    {151, 1067, P, true},
    {151, 3005, L, true},
    {151, 3006, L, true},

    {154, 3100, PIC, true},
    {154, 1086, L, true},
    {154, 1087, L, true},
    {154, 1088, L, true},
    {154, 1, B, true},
    {154, 2, B, true},

    {159, 3100, PIC, true},
    {159, 3001, L, true},
    {159, 3002, L, true},
    {159, 3003, L, true},
    {159, 1, B, true},
    {159, 2, B, true},

    {162, 3100, PIC, true},
    {162, 3001, L, true},
    {162, 3002, L, true},
    {162, 3003, L, true},
    {162, 1, B, true},

    {380, 1008, ControlKind::SortedDropList, true},
    {380, 1, B, true},
    {380, 2, B, true},

    {381, 3001, L, true},
    {381, 3002, L, true},
    {381, 1069, L, true},
    {381, 3003, L, true},
    {381, 1072, L, true},
    {381, 1073, L, true},
    {381, 1074, L, true},
    {381, 3100, PIC, true},

    {382, 3001, L, true},
    {382, 3003, L, true},
    {382, 1069, L, true},
    {382, 1079, L, true},
    {382, 1076, L, true},
    {382, 1014, L, true},
    {382, 1077, L, true},
    {382, 1070, L, true},
    {382, 1078, L, true},
    {382, 1071, L, true},
    {382, 3002, L, true},
    {382, 1, B, true},
    {382, 2, B, true},

    {383, 3100, PIC, true},
    {383, 3001, L, true},
    {383, 3002, L, true},
    {383, 1, B, true},
};

}  // namespace

CLanguage::CLanguage() {
    void* defaultModule = nullptr;
    m_module = CmnOpenLanguageLibrary("VKLANG.DLL", nullptr, &defaultModule);
}

CLanguage::~CLanguage() {
    (void)CmnReleaseLanguageLibrary(m_module, nullptr);  // the program has no default module
}

std::string CLanguage::String(uint32_t id) const {
    if (m_module == nullptr)
        return {};
    std::string buffer(8192, '\0');
    int32_t n = CmnLoadString(m_module, id, buffer.data(), static_cast<int32_t>(buffer.size()));
    buffer.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return buffer;
}

std::string CLanguage::DialogText(int32_t tmpl, int32_t control) const {
    return String(static_cast<uint32_t>(tmpl) * 10000 + static_cast<uint32_t>(control));
}

ui::CDialogTemplate CLanguage::Template(int32_t tmpl) const {
    ui::CDialogTemplate t;
    t.id = tmpl;
    t.caption = DialogText(tmpl, 0);
    for (const LayoutEntry& e : LAYOUT) {
        if (e.tmpl != tmpl)
            continue;
        ui::CControlTemplate c;
        c.id = e.id;
        c.kind = e.kind;
        c.shown = e.shown;
        c.text = e.kind == ControlKind::Picture ? "bitmap" : DialogText(tmpl, e.id);
        t.controls.push_back(std::move(c));
    }
    return t;
}

}  // namespace velkin
