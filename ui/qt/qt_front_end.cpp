// The Qt 6 Widgets rendering of windows: layout from templates, control state in widgets,
// what the person does forwarded to the logic.
#include "ui/qt/qt_front_end.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>
#include <map>

#include "platform/code_page.h"
#include "platform/window_link.h"

namespace ui {
namespace {

QString Q(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
std::string S(const QString& s) {
    return s.toUtf8().toStdString();
}

bool IsList(ControlKind k) {
    return k == ControlKind::DropList || k == ControlKind::SortedDropList;
}
bool IsEdit(ControlKind k) {
    return k == ControlKind::Edit || k == ControlKind::Password;
}
bool IsInput(ControlKind k) {
    return IsList(k) || IsEdit(k);
}

// A label without a buddy shows its "&" as the dialog would: "&&" as one "&", a single
// "&" not at all.
QString WithoutMnemonic(const QString& text) {
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '&') {
            if (i + 1 < text.size() && text[i + 1] == '&') {
                out += '&';
                ++i;
            }
            continue;
        }
        out += text[i];
    }
    return out;
}

// The picture beside a page: an envelope between an organizer and a desktop, drawn here
// so that the program carries no image files.
QPixmap PagePicture() {
    QPixmap pm(120, 240);
    pm.fill(QColor(0, 92, 128));
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    // The handheld.
    p.setBrush(QColor(220, 220, 210));
    p.setPen(QPen(QColor(40, 40, 40), 2));
    p.drawRoundedRect(QRectF(14, 26, 46, 72), 6, 6);
    p.setBrush(QColor(150, 180, 140));
    p.drawRect(QRectF(20, 34, 34, 38));
    // The desktop screen.
    p.setBrush(QColor(230, 230, 230));
    p.drawRoundedRect(QRectF(40, 140, 68, 50), 4, 4);
    p.setBrush(QColor(120, 160, 210));
    p.drawRect(QRectF(46, 146, 56, 36));
    p.setBrush(QColor(200, 200, 200));
    p.drawRect(QRectF(64, 190, 20, 10));
    // The envelope on its way.
    p.setBrush(QColor(255, 236, 150));
    QRectF env(30, 104, 56, 30);
    p.drawRect(env);
    QPainterPath flap;
    flap.moveTo(env.topLeft());
    flap.lineTo(env.center());
    flap.lineTo(env.topRight());
    p.drawPath(flap);
    return pm;
}

int32_t AnswerOf(QMessageBox::StandardButton b) {
    switch (b) {
        case QMessageBox::Ok:
            return IDOK;
        case QMessageBox::Yes:
            return IDYES;
        case QMessageBox::No:
            return IDNO;
        default:
            return IDCANCEL;
    }
}

}  // namespace

struct CQtFrontEnd::Impl {
    struct Control {
        CControlTemplate tmpl;
        QWidget* widget = nullptr;
        QLabel* label = nullptr;  // the control itself when it is a label
        std::string text;         // a label's or button's text as the logic set it
        size_t limit = 0;
        bool cutting = false;
    };
    struct Window {
        CWindowLogic* logic = nullptr;
        bool isPage = false;
        QWidget* root = nullptr;
        std::vector<Control> controls;
        bool ended = false;
        int32_t result = IDCANCEL;
        QEventLoop* loop = nullptr;
    };

    CQtFrontEnd* self = nullptr;
    std::map<CWindowLogic*, std::unique_ptr<Window>> pages;
    std::vector<std::unique_ptr<Window>> dialogs;
    Window* page = nullptr;

    CWizard* wizard = nullptr;
    QDialog* sheet = nullptr;
    QStackedWidget* stack = nullptr;
    QPushButton* back = nullptr;
    QPushButton* next = nullptr;
    QPushButton* finish = nullptr;
    QPushButton* cancel = nullptr;
    QEventLoop* wizardLoop = nullptr;
    uint32_t buttons = PSWIZB_NEXT;
    bool buttonsEnabled = true;
    bool backShown = true;
    QString finishText = QStringLiteral("Finish");

    platform::CWindowEndpoint* inbox = nullptr;
    QTimer* inboxTimer = nullptr;
    uint32_t raiseMessage = 0;
    int waitCursors = 0;

    Window* Top() {
        if (!dialogs.empty())
            return dialogs.back().get();
        return page;
    }
    Control* Find(int32_t id) {
        Window* w = Top();
        if (w == nullptr || id <= 0)
            return nullptr;
        for (Control& c : w->controls)
            if (c.tmpl.id == id)
                return &c;
        return nullptr;
    }
    // After a handler: closes modal loops whose dialog ended, the wizard's when it ended.
    void Settle() {
        for (auto& d : dialogs)
            if (d->ended && d->loop != nullptr)
                d->loop->quit();
        if (wizard != nullptr && wizard->Ended() && wizardLoop != nullptr)
            wizardLoop->quit();
        UpdateButtons();
    }
    void UpdateButtons() {
        if (sheet == nullptr)
            return;
        const bool fin = (buttons & PSWIZB_FINISH) != 0;
        back->setVisible(backShown);
        back->setEnabled(buttonsEnabled && (buttons & PSWIZB_BACK) != 0);
        next->setVisible(!fin);
        next->setEnabled(buttonsEnabled && (buttons & PSWIZB_NEXT) != 0);
        finish->setVisible(fin);
        finish->setEnabled(true);
        finish->setText(finishText);
        (fin ? finish : next)->setDefault(true);
    }
    void DeliverPosted() {
        if (inbox == nullptr)
            return;
        platform::PostedMessage msg;
        while (inbox->Receive(&msg, 0)) {
            Window* w = Top();
            if (w == nullptr)
                continue;
            if (!w->logic->OnWindowMessage(*self, msg.message, msg.wParam, msg.lParam) &&
                raiseMessage != 0 && msg.message == raiseMessage) {
                QWidget* win = w->root->window();
                if (win->isMinimized())
                    win->showNormal();
                win->raise();
                win->activateWindow();
            }
            Settle();
        }
    }

    void Build(Window& w, QWidget* root);
    void Wire(Window& w, Control& c);
    void SetControlText(Control& c, std::string_view text);
};

namespace {

// Forwards focus and keys of one control to the front end.
class CControlFilter : public QObject {
public:
    CControlFilter(QObject* parent, std::function<void()> onFocus)
        : QObject(parent), m_onFocus(std::move(onFocus)) {}
    bool eventFilter(QObject* obj, QEvent* ev) override {
        if (ev->type() == QEvent::FocusIn)
            m_onFocus();
        return QObject::eventFilter(obj, ev);
    }

private:
    std::function<void()> m_onFocus;
};

// A modal dialog whose Escape and close box go to its logic's Cancel.
class CModalDialog : public QDialog {
public:
    explicit CModalDialog(QWidget* parent, std::function<void()> onCancel)
        : QDialog(parent), m_onCancel(std::move(onCancel)) {}
    void reject() override { m_onCancel(); }
    void accept() override {}

private:
    std::function<void()> m_onCancel;
};

}  // namespace

void CQtFrontEnd::Impl::SetControlText(Control& c, std::string_view text) {
    c.text = std::string(text);
    QString t = Q(text);
    switch (c.tmpl.kind) {
        case ControlKind::Label:
            c.label->setText(c.label->buddy() != nullptr ? t : WithoutMnemonic(t));
            break;
        case ControlKind::Button:
            static_cast<QPushButton*>(c.widget)->setText(t);
            break;
        case ControlKind::Edit:
        case ControlKind::Password: {
            auto* e = static_cast<QLineEdit*>(c.widget);
            c.cutting = true;
            e->setText(t);
            c.cutting = false;
            break;
        }
        default:
            break;
    }
}

void CQtFrontEnd::Impl::Wire(Window& w, Control& c) {
    CWindowLogic* logic = w.logic;
    const int32_t id = c.tmpl.id;
    Window* wp = &w;
    if (IsEdit(c.tmpl.kind)) {
        auto* e = static_cast<QLineEdit*>(c.widget);
        e->installEventFilter(new CControlFilter(e, [this, logic, id] {
            logic->OnCommand(*self, id, EN_SETFOCUS);
            Settle();
        }));
        QObject::connect(e, &QLineEdit::textEdited, e, [this, wp, logic, id, e](const QString&) {
            Control* ctl = nullptr;
            for (Control& k : wp->controls)
                if (k.tmpl.id == id)
                    ctl = &k;
            if (ctl == nullptr || ctl->cutting || ctl->limit == 0)
                return;
            std::string bytes = S(e->text());
            if (bytes.size() <= ctl->limit)
                return;
            int cursor = e->cursorPosition();
            bytes.resize(platform::ValidCutLength(bytes, ctl->limit));
            ctl->cutting = true;
            e->setText(Q(bytes));
            e->setCursorPosition(std::min(cursor, static_cast<int>(e->text().size())));
            ctl->cutting = false;
            logic->OnCommand(*self, id, EN_MAXTEXT);
            Settle();
        });
    } else if (IsList(c.tmpl.kind)) {
        auto* box = static_cast<QComboBox*>(c.widget);
        QObject::connect(box, &QComboBox::activated, box, [this, logic, id](int) {
            logic->OnCommand(*self, id, CBN_SELCHANGE);
            Settle();
        });
    } else if (c.tmpl.kind == ControlKind::Button) {
        auto* b = static_cast<QPushButton*>(c.widget);
        QObject::connect(b, &QPushButton::clicked, b, [this, wp, logic, id] {
            if (!wp->isPage && id == IDOK) {
                if (logic->OnOK(*self)) {
                    wp->ended = true;
                    wp->result = IDOK;
                }
            } else if (!wp->isPage && id == IDCANCEL) {
                if (logic->OnCancel(*self)) {
                    wp->ended = true;
                    wp->result = IDCANCEL;
                }
            } else {
                logic->OnCommand(*self, id, BN_CLICKED);
            }
            Settle();
        });
    }
}

void CQtFrontEnd::Impl::Build(Window& w, QWidget* root) {
    w.root = root;
    const CDialogTemplate& t = w.logic->Template();
    root->setObjectName(QString("%1%2").arg(w.isPage ? "page" : "dialog").arg(t.id));
    for (const CControlTemplate& ct : t.controls) {
        Control c;
        c.tmpl = ct;
        w.controls.push_back(std::move(c));
    }

    auto* outer = new QHBoxLayout(root);
    auto* content = new QVBoxLayout();
    content->setSpacing(8);
    auto* dialogButtons = new QHBoxLayout();
    dialogButtons->addStretch(1);
    bool havePicture = false;
    QHBoxLayout* lastRow = nullptr;   // the row of the last input, for a button beside it
    QHBoxLayout* valueRow = nullptr;  // the row of a "Name:" label waiting for its value

    for (size_t i = 0; i < w.controls.size(); ++i) {
        Control& c = w.controls[i];
        const QString name = QString("c%1").arg(c.tmpl.id);
        switch (c.tmpl.kind) {
            case ControlKind::Picture: {
                auto* pic = new QLabel(root);
                pic->setObjectName(name);
                pic->setPixmap(PagePicture());
                pic->setAlignment(Qt::AlignTop);
                c.widget = pic;
                if (!havePicture)
                    outer->addWidget(pic, 0, Qt::AlignTop);
                havePicture = true;
                continue;
            }
            case ControlKind::Label: {
                auto* label = new QLabel(root);
                label->setObjectName(name);
                label->setWordWrap(true);
                label->setTextFormat(Qt::PlainText);
                label->setMinimumWidth(80);
                c.widget = c.label = label;
                lastRow = nullptr;
                const Control* nextCtl = i + 1 < w.controls.size() ? &w.controls[i + 1] : nullptr;
                const QString own = Q(c.tmpl.text).trimmed();
                if (valueRow != nullptr) {
                    // The value beside its name.
                    valueRow->addWidget(label, 1);
                    valueRow = nullptr;
                } else if (nextCtl != nullptr && nextCtl->tmpl.kind == ControlKind::Label &&
                           nextCtl->tmpl.id < 3000 && own.endsWith(':') && own.size() <= 32) {
                    // A name ("Mail System:") before the label the logic fills in.
                    valueRow = new QHBoxLayout();
                    label->setWordWrap(false);
                    label->setMinimumWidth(130);
                    valueRow->addWidget(label);
                    content->addLayout(valueRow);
                } else if (nextCtl != nullptr && IsInput(nextCtl->tmpl.kind) &&
                           Q(c.tmpl.text).contains('&')) {
                    // The label names the field after it: its mnemonic moves the focus there,
                    // and a short one sits on the field's row.
                    if (c.tmpl.text.size() <= 32) {
                        lastRow = new QHBoxLayout();
                        label->setWordWrap(false);
                        label->setMinimumWidth(110);
                        lastRow->addWidget(label);
                        content->addLayout(lastRow);
                    } else {
                        content->addWidget(label);
                    }
                    label->setBuddy(root);  // set to the field once it exists
                } else {
                    content->addWidget(label);
                }
                break;
            }
            case ControlKind::Edit:
            case ControlKind::Password: {
                auto* e = new QLineEdit(root);
                e->setObjectName(name);
                if (c.tmpl.kind == ControlKind::Password)
                    e->setEchoMode(QLineEdit::Password);
                c.widget = e;
                break;
            }
            case ControlKind::DropList:
            case ControlKind::SortedDropList: {
                auto* box = new QComboBox(root);
                box->setObjectName(name);
                box->setMinimumWidth(220);
                box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
                c.widget = box;
                break;
            }
            case ControlKind::Button: {
                auto* b = new QPushButton(root);
                b->setObjectName(name);
                b->setAutoDefault(false);
                c.widget = b;
                if (!w.isPage && (c.tmpl.id == IDOK || c.tmpl.id == IDCANCEL)) {
                    dialogButtons->addWidget(b);
                    if (c.tmpl.id == IDOK)
                        b->setDefault(true);
                } else if (lastRow != nullptr) {
                    lastRow->addWidget(b);
                } else {
                    auto* row = new QHBoxLayout();
                    row->addWidget(b);
                    row->addStretch(1);
                    content->addLayout(row);
                }
                break;
            }
        }
        if (IsInput(c.tmpl.kind)) {
            Control* prev = i > 0 ? &w.controls[i - 1] : nullptr;
            if (prev != nullptr && prev->label != nullptr && prev->label->buddy() != nullptr)
                prev->label->setBuddy(c.widget);
            else
                lastRow = nullptr;
            if (lastRow == nullptr) {
                lastRow = new QHBoxLayout();
                content->addLayout(lastRow);
            }
            lastRow->addWidget(c.widget, 1);
        }
        if (c.tmpl.kind != ControlKind::Button || w.isPage ||
            (c.tmpl.id != IDOK && c.tmpl.id != IDCANCEL))
            if (c.tmpl.kind != ControlKind::Label && !IsInput(c.tmpl.kind))
                lastRow = nullptr;
    }
    content->addStretch(1);
    if (!w.isPage)
        content->addLayout(dialogButtons);
    outer->addLayout(content, 1);

    for (Control& c : w.controls) {
        if (!IsList(c.tmpl.kind))
            SetControlText(c, c.tmpl.text);
        c.widget->setVisible(c.tmpl.shown);
        Wire(w, c);
    }
}

CQtFrontEnd::CQtFrontEnd() : m(std::make_unique<Impl>()) {
    m->self = this;
}

CQtFrontEnd::~CQtFrontEnd() {
    delete m->inboxTimer;
    delete m->sheet;
}

bool CQtFrontEnd::EnsureApplication(int* argc, char** argv) {
    if (QApplication::instance() != nullptr)
        return true;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return false;
    // QApplication exits the process when the platform cannot be opened; the checks above
    // keep that to a named but unreachable display.
    new QApplication(*argc, argv);
    return true;
}

void CQtFrontEnd::SetRaiseMessage(uint32_t message) {
    m->raiseMessage = message;
}

void CQtFrontEnd::SetInbox(platform::CWindowEndpoint* inbox) {
    m->inbox = inbox;
    if (m->inboxTimer == nullptr) {
        m->inboxTimer = new QTimer();
        QObject::connect(m->inboxTimer, &QTimer::timeout, [this] { m->DeliverPosted(); });
    }
    if (inbox != nullptr)
        m->inboxTimer->start(100);
    else
        m->inboxTimer->stop();
}

int32_t CQtFrontEnd::RunWizard(CWizard& wizard) {
    m->wizard = &wizard;
    auto* sheet = new CModalDialog(nullptr, [this] {
        if (m->wizard != nullptr)
            m->wizard->Cancel(*this);
        m->Settle();
    });
    m->sheet = sheet;
    sheet->setObjectName("sheet");
    sheet->setWindowTitle(Q(wizard.Caption()));
    auto* layout = new QVBoxLayout(sheet);
    m->stack = new QStackedWidget(sheet);
    layout->addWidget(m->stack, 1);
    auto* line = new QFrame(sheet);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    layout->addWidget(line);
    auto* row = new QHBoxLayout();
    row->addStretch(1);
    auto button = [&](const char* name, const char* text) {
        auto* b = new QPushButton(QString::fromUtf8(text), sheet);
        b->setObjectName(name);
        b->setAutoDefault(false);
        row->addWidget(b);
        return b;
    };
    m->back = button("back", "< &Back");
    m->next = button("next", "&Next >");
    m->finish = button("finish", "Finish");
    row->addSpacing(10);
    m->cancel = button("cancel", "Cancel");
    layout->addLayout(row);
    QObject::connect(m->back, &QPushButton::clicked, [this] {
        m->wizard->Back(*this);
        m->Settle();
    });
    QObject::connect(m->next, &QPushButton::clicked, [this] {
        m->wizard->Next(*this);
        m->Settle();
    });
    QObject::connect(m->finish, &QPushButton::clicked, [this] {
        m->wizard->Finish(*this);
        m->Settle();
    });
    QObject::connect(m->cancel, &QPushButton::clicked, [this] {
        m->wizard->Cancel(*this);
        m->Settle();
    });

    if (wizard.Start(*this)) {
        m->UpdateButtons();
        sheet->resize(sheet->sizeHint().expandedTo(QSize(560, 380)));
        sheet->show();
        sheet->raise();
        sheet->activateWindow();
        QEventLoop loop;
        m->wizardLoop = &loop;
        if (!wizard.Ended())
            loop.exec();
        m->wizardLoop = nullptr;
    }
    sheet->hide();
    m->wizard = nullptr;
    // The pages' widgets go with the window; their state is not needed after the run.
    m->page = nullptr;
    m->pages.clear();
    m->stack = nullptr;
    m->sheet = nullptr;
    delete sheet;
    return wizard.Result();
}

void CQtFrontEnd::ShowPage(CPageLogic& page) {
    auto it = m->pages.find(&page);
    if (it != m->pages.end()) {
        m->page = it->second.get();
        if (m->stack != nullptr)
            m->stack->setCurrentWidget(m->page->root);
        return;
    }
    auto w = std::make_unique<Impl::Window>();
    w->logic = &page;
    w->isPage = true;
    auto* root = new QWidget();
    m->Build(*w, root);
    Impl::Window* raw = w.get();
    m->pages[&page] = std::move(w);
    m->page = raw;
    if (m->stack != nullptr) {
        m->stack->addWidget(root);
        m->stack->setCurrentWidget(root);
    }
    page.OnInitDialog(*this);
}

int32_t CQtFrontEnd::DoModal(CWindowLogic& dialog) {
    auto w = std::make_unique<Impl::Window>();
    Impl::Window* wp = w.get();
    w->logic = &dialog;
    QWidget* parent = m->Top() != nullptr ? m->Top()->root->window() : nullptr;
    auto* dlg = new CModalDialog(parent, [this, wp] {
        if (wp->logic->OnCancel(*this)) {
            wp->ended = true;
            wp->result = IDCANCEL;
        }
        m->Settle();
    });
    dlg->setWindowTitle(Q(dialog.Template().caption));
    dlg->setWindowModality(Qt::ApplicationModal);
    m->Build(*w, dlg);
    m->dialogs.push_back(std::move(w));
    dialog.OnInitDialog(*this);
    if (!wp->ended) {
        // Wrapped texts need a width to wrap at; the height follows from it.
        bool longText = false;
        for (const CControlTemplate& c : dialog.Template().controls)
            longText = longText || (c.kind == ControlKind::Label && c.text.size() > 60);
        const int width = std::max(longText ? 520 : 300, dlg->sizeHint().width());
        QLayout* layout = dlg->layout();
        const int height = layout->hasHeightForWidth() ? layout->totalHeightForWidth(width)
                                                       : dlg->sizeHint().height();
        dlg->resize(width, std::max(height, dlg->minimumSizeHint().height()));
        dlg->show();
        dlg->raise();
        dlg->activateWindow();
        QEventLoop loop;
        wp->loop = &loop;
        loop.exec();
        wp->loop = nullptr;
    }
    int32_t result = wp->result;
    dlg->hide();
    m->dialogs.pop_back();
    delete dlg;
    return result;
}

void CQtFrontEnd::EndModal(int32_t result) {
    if (m->dialogs.empty())
        return;
    m->dialogs.back()->ended = true;
    m->dialogs.back()->result = result;
    m->Settle();
}

int32_t CQtFrontEnd::MessageBox(std::string_view text, std::string_view caption, uint32_t type) {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (type & MB_ICONMASK) {
        case MB_ICONHAND:
            icon = QMessageBox::Critical;
            break;
        case MB_ICONQUESTION:
            icon = QMessageBox::Question;
            break;
        case MB_ICONEXCLAMATION:
            icon = QMessageBox::Warning;
            break;
        case MB_ICONINFORMATION:
            icon = QMessageBox::Information;
            break;
        default:
            break;
    }
    QMessageBox::StandardButtons set = QMessageBox::Ok;
    QMessageBox::StandardButton escape = QMessageBox::Ok;
    switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL:
            set = QMessageBox::Ok | QMessageBox::Cancel;
            escape = QMessageBox::Cancel;
            break;
        case MB_YESNOCANCEL:
            set = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
            escape = QMessageBox::Cancel;
            break;
        case MB_YESNO:
            set = QMessageBox::Yes | QMessageBox::No;
            escape = QMessageBox::NoButton;  // a yes/no question must be answered
            break;
        default:
            break;
    }
    QWidget* parent = m->Top() != nullptr ? m->Top()->root->window() : nullptr;
    QMessageBox box(icon, Q(caption), Q(text), set, parent);
    box.setObjectName("messagebox");
    box.setDefaultButton(static_cast<QPushButton*>(box.buttons().front()));
    if (escape != QMessageBox::NoButton)
        box.setEscapeButton(escape);
    int shown = m->waitCursors;
    for (int i = 0; i < shown; ++i)
        QGuiApplication::restoreOverrideCursor();
    box.exec();
    for (int i = 0; i < shown; ++i)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    QAbstractButton* clicked = box.clickedButton();
    QMessageBox::StandardButton b =
        clicked != nullptr ? box.standardButton(clicked) : QMessageBox::Cancel;
    if (b == QMessageBox::Cancel && (type & MB_TYPEMASK) == MB_YESNO)
        b = QMessageBox::No;
    if (b == QMessageBox::Cancel && (type & MB_TYPEMASK) == MB_OK)
        b = QMessageBox::Ok;
    return AnswerOf(b);
}

std::optional<std::string> CQtFrontEnd::ChooseDirectory(std::string_view start) {
    QWidget* parent = m->Top() != nullptr ? m->Top()->root->window() : nullptr;
    QFileDialog dlg(parent, QStringLiteral("Browse for Folder"), Q(start));
    dlg.setObjectName("directorychooser");
    dlg.setFileMode(QFileDialog::Directory);
    dlg.setOption(QFileDialog::ShowDirsOnly, true);
    dlg.setOption(QFileDialog::DontUseNativeDialog, true);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return std::nullopt;
    return S(dlg.selectedFiles().front());
}

void CQtFrontEnd::SetText(int32_t id, std::string_view text) {
    Impl::Control* c = m->Find(id);
    if (c == nullptr)
        return;
    if (!IsList(c->tmpl.kind)) {
        m->SetControlText(*c, text);
        return;
    }
    // A list's text selects the first entry that begins with it, ignoring case.
    auto* box = static_cast<QComboBox*>(c->widget);
    int found = -1;
    for (int i = 0; i < box->count(); ++i) {
        std::string item = S(box->itemText(i));
        if (item.size() >= text.size() &&
            platform::CompareNoCaseMb(std::string_view(item).substr(0, text.size()), text) == 0) {
            found = i;
            break;
        }
    }
    box->setCurrentIndex(found);
}

std::string CQtFrontEnd::GetText(int32_t id) {
    Impl::Control* c = m->Find(id);
    if (c == nullptr)
        return {};
    switch (c->tmpl.kind) {
        case ControlKind::Edit:
        case ControlKind::Password:
            return S(static_cast<QLineEdit*>(c->widget)->text());
        case ControlKind::DropList:
        case ControlKind::SortedDropList: {
            auto* box = static_cast<QComboBox*>(c->widget);
            return box->currentIndex() >= 0 ? S(box->currentText()) : std::string();
        }
        case ControlKind::Picture:
            return c->tmpl.text;
        default:
            return c->text;
    }
}

void CQtFrontEnd::Show(int32_t id, bool shown) {
    if (Impl::Control* c = m->Find(id))
        c->widget->setVisible(shown);
}

void CQtFrontEnd::Enable(int32_t id, bool enabled) {
    if (Impl::Control* c = m->Find(id))
        c->widget->setEnabled(enabled);
}

void CQtFrontEnd::SetFocus(int32_t id, bool selectAll) {
    Impl::Control* c = m->Find(id);
    if (c == nullptr)
        return;
    c->widget->setFocus(Qt::OtherFocusReason);
    if (selectAll && IsEdit(c->tmpl.kind))
        static_cast<QLineEdit*>(c->widget)->selectAll();
}

void CQtFrontEnd::SetLimit(int32_t id, size_t maxBytes) {
    if (Impl::Control* c = m->Find(id))
        c->limit = maxBytes;
}

void CQtFrontEnd::ClearList(int32_t id) {
    Impl::Control* c = m->Find(id);
    if (c != nullptr && IsList(c->tmpl.kind))
        static_cast<QComboBox*>(c->widget)->clear();
}

int32_t CQtFrontEnd::AddItem(int32_t id, std::string_view text) {
    Impl::Control* c = m->Find(id);
    if (c == nullptr || !IsList(c->tmpl.kind))
        return -1;
    auto* box = static_cast<QComboBox*>(c->widget);
    int at = box->count();
    if (c->tmpl.kind == ControlKind::SortedDropList) {
        at = 0;
        while (at < box->count() && platform::CompareNoCaseMb(S(box->itemText(at)), text) <= 0)
            ++at;
    }
    int selected = box->currentIndex();
    box->insertItem(at, Q(text));
    // Adding an entry never chooses one.
    box->setCurrentIndex(selected >= at ? selected + 1 : selected);
    return at;
}

std::vector<std::string> CQtFrontEnd::Items(int32_t id) {
    std::vector<std::string> items;
    Impl::Control* c = m->Find(id);
    if (c == nullptr || !IsList(c->tmpl.kind))
        return items;
    auto* box = static_cast<QComboBox*>(c->widget);
    for (int i = 0; i < box->count(); ++i)
        items.push_back(S(box->itemText(i)));
    return items;
}

int32_t CQtFrontEnd::GetSelection(int32_t id) {
    Impl::Control* c = m->Find(id);
    if (c == nullptr || !IsList(c->tmpl.kind))
        return -1;
    return static_cast<QComboBox*>(c->widget)->currentIndex();
}

void CQtFrontEnd::SetSelection(int32_t id, int32_t index) {
    Impl::Control* c = m->Find(id);
    if (c == nullptr || !IsList(c->tmpl.kind))
        return;
    auto* box = static_cast<QComboBox*>(c->widget);
    box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
}

void CQtFrontEnd::SetWizardButtons(uint32_t flags) {
    m->buttons = flags;
    m->UpdateButtons();
}
void CQtFrontEnd::EnableWizardButtons(bool enabled) {
    m->buttonsEnabled = enabled;
    m->UpdateButtons();
}
void CQtFrontEnd::SetFinishText(std::string_view text) {
    m->finishText = Q(text);
    m->backShown = false;
    m->UpdateButtons();
}
void CQtFrontEnd::ShowBackButton(bool shown) {
    m->backShown = shown;
    m->UpdateButtons();
}

void CQtFrontEnd::BeginWaitCursor() {
    ++m->waitCursors;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}
void CQtFrontEnd::EndWaitCursor() {
    if (m->waitCursors == 0)
        return;
    --m->waitCursors;
    QGuiApplication::restoreOverrideCursor();
}

}  // namespace ui

extern "C" ui::IFrontEnd* TetherUiQtCreate(int* argc, char** argv) {
    if (!ui::CQtFrontEnd::EnsureApplication(argc, argv))
        return nullptr;
    return new ui::CQtFrontEnd();
}

extern "C" void TetherUiQtDestroy(ui::IFrontEnd* frontEnd) {
    delete frontEnd;
}
