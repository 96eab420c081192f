// Wizard page navigation: Next, Back, Finish and Cancel, the same for every renderer.
#include "ui/ui.h"

namespace ui {

CPageLogic* CWizard::PageById(int32_t id) const {
    for (CPageLogic* p : m_pages)
        if (p->Template().id == id)
            return p;
    return nullptr;
}

bool CWizard::Activate(IFrontEnd& ui, int32_t index) {
    CPageLogic* page = m_pages[index];
    ui.ShowPage(*page);
    int32_t previous = m_current;
    m_current = index;
    if (page->OnSetActive(ui))
        return true;
    m_current = previous;
    return false;
}

bool CWizard::Start(IFrontEnd& ui) {
    for (int32_t i = 0; i < static_cast<int32_t>(m_pages.size()) && !m_ended; ++i) {
        if (Activate(ui, i))
            return !m_ended;
    }
    if (m_current < 0)
        End(m_ended ? m_result : IDCANCEL);
    return !m_ended;
}

void CWizard::GoTo(IFrontEnd& ui, int32_t target, bool forward) {
    if (m_ended || target < 0)
        return;
    int32_t to = -1;
    if (target == 0) {
        to = m_current + (forward ? 1 : -1);
    } else {
        for (size_t i = 0; i < m_pages.size(); ++i)
            if (m_pages[i]->Template().id == target)
                to = static_cast<int32_t>(i);
    }
    if (to < 0 || to >= static_cast<int32_t>(m_pages.size()))
        return;  // no such page: stay
    CPageLogic* from = m_pages[m_current];
    if (!from->OnKillActive(ui) || m_ended)
        return;
    int32_t back = m_current;
    if (!Activate(ui, to) && !m_ended) {
        // The target refused: the page that was left becomes current again.
        (void)Activate(ui, back);  // it was current a moment ago; its refusal changes nothing
    }
}

void CWizard::Next(IFrontEnd& ui) {
    if (m_ended || m_current < 0)
        return;
    int32_t target = m_pages[m_current]->OnWizardNext(ui);
    GoTo(ui, target, true);
}

void CWizard::Back(IFrontEnd& ui) {
    if (m_ended || m_current < 0)
        return;
    int32_t target = m_pages[m_current]->OnWizardBack(ui);
    GoTo(ui, target, false);
}

void CWizard::Finish(IFrontEnd& ui) {
    if (m_ended || m_current < 0)
        return;
    if (m_pages[m_current]->OnWizardFinish(ui) && !m_ended)
        End(ID_WIZFINISH);
}

void CWizard::Cancel(IFrontEnd& ui) {
    if (m_ended || m_current < 0)
        return;
    if (m_pages[m_current]->OnQueryCancel(ui) && !m_ended)
        End(IDCANCEL);
}

}  // namespace ui
