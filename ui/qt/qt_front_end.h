// The Qt 6 Widgets rendering of the front-end interface of windows.
//
// Each window (a wizard page or a modal dialog) is laid out from its template's controls in
// their tab order; every control widget carries the object name "c<id>" so that tests and
// tools find it. The wizard is one window titled with the sheet's caption, its pages stacked
// above the Back / Next / Finish / Cancel row (object names "back", "next", "finish",
// "cancel"). The rendering makes no decision of its own: what the person does goes to the
// window's logic (OnCommand, OnOK/OnCancel) or to CWizard, and the logic's calls change
// the widgets.
//
// A QApplication must exist before the front end is made (CQtFrontEnd::EnsureApplication
// makes one when there is none).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/ui.h"

#if defined(TETHERUI_QT_BUILD)
#define TETHERUI_QT_API __attribute__((visibility("default")))
#else
#define TETHERUI_QT_API
#endif

namespace ui {

class TETHERUI_QT_API CQtFrontEnd : public IFrontEnd {
public:
    CQtFrontEnd();
    ~CQtFrontEnd() override;
    CQtFrontEnd(const CQtFrontEnd&) = delete;
    CQtFrontEnd& operator=(const CQtFrontEnd&) = delete;

    // Makes the process's QApplication when there is none (argc/argv are kept by Qt).
    // false when no display can be opened.
    static bool EnsureApplication(int* argc, char** argv);

    // A posted message with this number that the window on top does not handle brings that
    // window forward (raised and activated): how a second start of the program shows the
    // first one. 0: none.
    void SetRaiseMessage(uint32_t message);

    int32_t RunWizard(CWizard& wizard) override;
    void SetInbox(platform::CWindowEndpoint* inbox) override;

    void SetText(int32_t id, std::string_view text) override;
    std::string GetText(int32_t id) override;
    void Show(int32_t id, bool shown) override;
    void Enable(int32_t id, bool enabled) override;
    void SetFocus(int32_t id, bool selectAll) override;
    void SetLimit(int32_t id, size_t maxBytes) override;
    void ClearList(int32_t id) override;
    int32_t AddItem(int32_t id, std::string_view text) override;
    std::vector<std::string> Items(int32_t id) override;
    int32_t GetSelection(int32_t id) override;
    void SetSelection(int32_t id, int32_t index) override;
    int32_t MessageBox(std::string_view text, std::string_view caption, uint32_t type) override;
    int32_t DoModal(CWindowLogic& dialog) override;
    void EndModal(int32_t result) override;
    std::optional<std::string> ChooseDirectory(std::string_view start) override;
    void ShowPage(CPageLogic& page) override;
    void SetWizardButtons(uint32_t flags) override;
    void EnableWizardButtons(bool enabled) override;
    void SetFinishText(std::string_view text) override;
    void ShowBackButton(bool shown) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;

    struct Impl;

private:
    std::unique_ptr<Impl> m;
};

}  // namespace ui

// For a program that loads the rendering at run time: a new front end (delete it with
// TetherUiQtDestroy), or null when no display can be opened.
extern "C" TETHERUI_QT_API ui::IFrontEnd* TetherUiQtCreate(int* argc, char** argv);
extern "C" TETHERUI_QT_API void TetherUiQtDestroy(ui::IFrontEnd* frontEnd);
