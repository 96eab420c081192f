// The wizard's resources: template, control and string numbers, the language library
// that holds the texts, and the dialog templates built from it.
#pragma once

#include <cstdint>
#include <string>

#include "ui/ui.h"

namespace velkin {

// Dialog templates (page ids).
inline constexpr int32_t IDD_VIM_CONGRATS = 106;
inline constexpr int32_t IDD_EUDORA_CONGRATS = 107;
inline constexpr int32_t IDD_EMAIL_PROGRAM = 129;
inline constexpr int32_t IDD_PROFILE = 131;
inline constexpr int32_t IDD_LOTUS_USER_NAME = 134;
inline constexpr int32_t IDD_LOTUS_POST_OFFICE = 140;
inline constexpr int32_t IDD_INTERNET_GATEWAY = 141;
inline constexpr int32_t IDD_ACTIVATION = 142;
inline constexpr int32_t IDD_EUDORA_USER_NAME = 151;
inline constexpr int32_t IDD_LOGON_FAILED = 154;
inline constexpr int32_t IDD_NO_GATEWAY = 159;
inline constexpr int32_t IDD_EUDORA_NOTE = 162;
inline constexpr int32_t IDD_DIR = 379;
inline constexpr int32_t IDD_USER_SELECT = 380;
inline constexpr int32_t IDD_PROFILE_CONGRATS = 381;
inline constexpr int32_t IDD_CURRENT_SETUP = 382;
inline constexpr int32_t IDD_OUTLOOK_EXPRESS_NOTE = 383;

// Controls.
inline constexpr int32_t IDC_PROGRAM_LIST = 1006;
inline constexpr int32_t IDC_USER_LIST = 1008;
inline constexpr int32_t IDC_PROFILE_TEXT = 1009;
inline constexpr int32_t IDC_PROFILE_LIST = 1010;
inline constexpr int32_t IDC_VALUE_USER = 1014;
inline constexpr int32_t IDC_LOTUS_USER = 1019;
inline constexpr int32_t IDC_POST_OFFICE = 1052;
inline constexpr int32_t IDC_BROWSE = 1053;
inline constexpr int32_t IDC_GATEWAY = 1060;
inline constexpr int32_t IDC_LOTUS_PASSWORD = 1065;
inline constexpr int32_t IDC_EUDORA_PASSWORD = 1067;
inline constexpr int32_t IDC_EUDORA_USER = 1068;
inline constexpr int32_t IDC_VALUE_SYSTEM = 1069;
inline constexpr int32_t IDC_VALUE_POST_OFFICE = 1070;
inline constexpr int32_t IDC_VALUE_GATEWAY = 1071;
inline constexpr int32_t IDC_VALUE_PROFILE = 1072;
inline constexpr int32_t IDC_TEXT_1073 = 1073;
inline constexpr int32_t IDC_TEXT_1075 = 1075;
inline constexpr int32_t IDC_LABEL_USER = 1076;
inline constexpr int32_t IDC_LABEL_POST_OFFICE = 1077;
inline constexpr int32_t IDC_LABEL_GATEWAY = 1078;
inline constexpr int32_t IDC_LABEL_PROFILE = 1079;
inline constexpr int32_t IDC_FAILED_1086 = 1086;
inline constexpr int32_t IDC_FAILED_1087 = 1087;
inline constexpr int32_t IDC_FAILED_1088 = 1088;
inline constexpr int32_t IDC_TEXT_1089 = 1089;
inline constexpr int32_t IDC_TEXT_1090 = 1090;

// Numbered strings.
inline constexpr uint32_t IDS_CAPTION = 103;
inline constexpr uint32_t IDS_GATEWAY_CAPTION = 105;
inline constexpr uint32_t IDS_NO_POST_OFFICE = 108;
inline constexpr uint32_t IDS_USER_IDENTITY = 110;
inline constexpr uint32_t IDS_NEED_USER_NAME = 111;
inline constexpr uint32_t IDS_FIELD_FULL = 112;
inline constexpr uint32_t IDS_POST_OFFICE_CAPTION = 113;
inline constexpr uint32_t IDS_USER_PASSWORD_CAPTION = 114;
inline constexpr uint32_t IDS_NO_PROGRAM = 117;
inline constexpr uint32_t IDS_MAPI32 = 118;
inline constexpr uint32_t IDS_VIM32 = 119;
inline constexpr uint32_t IDS_NO_PROFILE_1 = 122;
inline constexpr uint32_t IDS_BAD_PASSWORD = 123;
inline constexpr uint32_t IDS_BAD_USER_NAME = 124;
inline constexpr uint32_t IDS_PROFILE_INVALID = 125;
inline constexpr uint32_t IDS_NO_PROFILE_2 = 126;
inline constexpr uint32_t IDS_NEED_PROFILE_1 = 127;
inline constexpr uint32_t IDS_NEED_PROFILE_2 = 128;
inline constexpr uint32_t IDS_PROFILE_BAD_1 = 129;
inline constexpr uint32_t IDS_PROFILE_BAD_2 = 130;
inline constexpr uint32_t IDS_PROFILE_BAD_3 = 131;
inline constexpr uint32_t IDS_CANCEL_1 = 132;
inline constexpr uint32_t IDS_CANCEL_2 = 133;
inline constexpr uint32_t IDS_UNKNOWN_ERROR = 139;
inline constexpr uint32_t IDS_NO_VIM = 140;
inline constexpr uint32_t IDS_EUDORA_CAPTION = 141;
inline constexpr uint32_t IDS_BAD_USER_OR_PASSWORD = 144;
inline constexpr uint32_t IDS_NOT_APPLICABLE = 145;
inline constexpr uint32_t IDS_NEXT = 146;
inline constexpr uint32_t IDS_CHANGE_ACTION_TITLE = 147;
inline constexpr uint32_t IDS_NOT_SAVED = 148;
inline constexpr uint32_t IDS_MAPI_LIBRARY = 5026;
inline constexpr uint32_t IDS_NOTESVIM32 = 5315;
inline constexpr uint32_t IDS_VIM_LIBRARY = 5320;
inline constexpr uint32_t IDS_MAIL_INF_DAMAGED = 5325;
inline constexpr uint32_t IDS_MAIL_INF_MISSING = 5326;
inline constexpr uint32_t IDS_NO_CONFIGURATION = 5327;
inline constexpr uint32_t IDS_ACTION_DO_NOTHING = 5328;

// Messages.
inline constexpr uint32_t WM_USER = 0x400;
inline constexpr uint32_t WM_SETUP_DONE = WM_USER + 6;   // 1030, to "Change TetherSync Action"
inline constexpr uint32_t WM_CLOSE_SETUP = WM_USER + 7;  // 1031, asks the wizard to close
inline constexpr uint32_t WM_SHOW_SETUP = WM_USER + 8;   // a second instance asks to be shown

// The language library "VKLANG.DLL", opened through the host's common library for the
// life of the object.
class CLanguage {
public:
    CLanguage();
    ~CLanguage();
    CLanguage(const CLanguage&) = delete;
    CLanguage& operator=(const CLanguage&) = delete;

    bool Loaded() const { return m_module != nullptr; }
    // String `id`; empty when missing.
    std::string String(uint32_t id) const;
    // The text of control `control` of template `tmpl` (0: the caption).
    std::string DialogText(int32_t tmpl, int32_t control) const;
    // The template with its controls and their texts.
    ui::CDialogTemplate Template(int32_t tmpl) const;

private:
    void* m_module = nullptr;
};

}  // namespace velkin
