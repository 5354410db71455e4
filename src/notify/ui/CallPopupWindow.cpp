#include "CallPopupWindow.h"

#include "FormControlPos.h"
#include "PopupFader.h"
#include "SysTray.h"
#include "contacts/addressbook/AddressBookService.h"
#include "contacts/lookup/NumberLookup.h"
#include "contacts/manager/ContactManagerLauncher.h"
#include "core/controller/MainForm.h"
#include "loc/ui/FormTranslator.h"
#include "platform/Clock.h"
#include "shell/settings/FormPosition.h"
#include "shell/settings/SettingsStore.h"
#include "shell/ui/WidgetFormWindow.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace {

const QString kPositionKey = QStringLiteral("Notification");
constexpr int kDefaultWidthTwips = 4650;
constexpr int kDefaultHeightTwips = 1770;
constexpr int kCornerMarginTwips = 100;
constexpr int kActionsRightTwips = 300;
constexpr int kActionGapTwips = 120;
constexpr int kFadeInPauseMs = 30;
constexpr int kFadeOutPauseMs = 20;

// A head and shoulders in the window's text colour: the picture of a caller
// without one of their own.
QPixmap defaultPicture(const QPalette& palette, int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QColor colour = palette.color(QPalette::WindowText);
    colour.setAlphaF(0.45f);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(QRectF(size * 0.3, size * 0.08, size * 0.4, size * 0.4));
    QPainterPath body;
    body.addRoundedRect(QRectF(size * 0.12, size * 0.55, size * 0.76, size * 0.45), size * 0.2,
                        size * 0.2);
    p.drawPath(body);
    return pixmap;
}

QString quotedArgument(const QString& option, QString value)
{
    // The contact manager reads a doubled quote as one inside a quoted value.
    return option + QLatin1Char('"') + value.replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
           QLatin1Char('"');
}

} // namespace

CallPopupWindow::CallPopupWindow(const CallPopupContext& context, CallPopupWindows* stack)
    : m_ctx(context), m_stack(stack)
{
    m_tmrClose.setObjectName(QStringLiteral("tmrClose"));
    m_tmrClose.setParent(this);
    m_tmrClose.setInterval(1000);
    connect(&m_tmrClose, &QTimer::timeout, this, &CallPopupWindow::tick);
    m_fader = new PopupFader(
        [this](int percent) {
            if (m_window)
                m_window->setWindowOpacity((100 - percent) / 100.0);
        },
        this);
}

CallPopupWindow::~CallPopupWindow()
{
    delete m_window;
}

QString CallPopupWindow::GetS(const QString& text, const QString& p1) const
{
    return p1.isNull() ? m_ctx.form->GetS(text) : m_ctx.form->GetS(text, p1);
}

void CallPopupWindow::logLine(const QString& text) const
{
    m_ctx.form->DoLogStr(text);
}

int CallPopupWindow::twipsX(int twips) const
{
    return int(std::lround(twips * m_window->logicalDpiX() / 1440.0));
}

int CallPopupWindow::twipsY(int twips) const
{
    return int(std::lround(twips * m_window->logicalDpiY() / 1440.0));
}

void CallPopupWindow::build()
{
    m_window = new QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint);
    m_window->setObjectName(QStringLiteral("frmCall"));
    // A call must not take the keyboard away from what the user is typing.
    m_window->setAttribute(Qt::WA_ShowWithoutActivating);
    m_window->setFocusPolicy(Qt::NoFocus);
    m_window->setContextMenuPolicy(Qt::CustomContextMenu);
    m_window->installEventFilter(this);
    const auto label = [this](const char* name) {
        auto* l = new QLabel(m_window);
        l->setObjectName(QString::fromLatin1(name));
        l->installEventFilter(this);
        return l;
    };
    m_imgBackground = label("imgBackground");
    m_imgBackground->hide();
    m_image1 = label("Image1");
    m_imgUser = label("imgUser");
    m_imgUser->setAlignment(Qt::AlignCenter);
    m_lblCallerNumber = label("lblCallerNumber");
    m_lblCallerName = label("lblCallerName");
    m_lblExtrainfo = label("lblExtrainfo");
    m_lblCountDown = label("lblCountDown");
    m_lblCountDown->hide();
    m_lblCountDown->setCursor(Qt::PointingHandCursor);
    for (int i = 0; i < kActionCount; ++i) {
        QLabel* action = label("lblAction");
        action->setProperty("Index", i);
        action->setCursor(Qt::PointingHandCursor);
        action->hide();
        m_lblAction[size_t(i)] = action;
    }
    // The caller's data and the captions of plug-ins are not translated.
    for (QLabel* l : m_window->findChildren<QLabel*>())
        l->setProperty("Tag", QStringLiteral("!"));

    m_mnuPop = new QMenu(m_window);
    m_mnuPop->setObjectName(QStringLiteral("mnuPop"));
    auto* restore = m_mnuPop->addAction(QStringLiteral("&Restore default size"));
    restore->setObjectName(QStringLiteral("mnuRestore"));
    m_mnuPop->setDefaultAction(restore);
    connect(restore, &QAction::triggered, this, &CallPopupWindow::PlaceDefault);
    connect(m_window, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { m_mnuPop->popup(m_window->mapToGlobal(at)); });
    FormTranslator::TranslateForm(m_window, m_ctx.form->loc());
}

void CallPopupWindow::prepare()
{
    if (m_window)
        return;
    build();
    design();
    // The native window too: the first call of a session then costs no more
    // than the next.
    m_window->ensurePolished();
    m_window->winId();
    m_window->grab(); // paints once off the screen: fonts and style are loaded
}

void CallPopupWindow::design()
{
    const QFont base = m_window->font();
    QFont nameFont = base;
    nameFont.setBold(true);
    if (base.pointSizeF() > 0)
        nameFont.setPointSizeF(base.pointSizeF() * 1.3);
    m_lblCallerName->setFont(nameFont);
    const QFontMetrics fm(base);
    const int line = fm.height();
    const int nameLine = QFontMetrics(nameFont).height();
    const int m = std::max(4, line / 2);
    const int textHeight = line + nameLine + line;
    // Never smaller than the texts need in the desktop's font.
    const int w = std::max(twipsX(kDefaultWidthTwips),
                           2 * m + textHeight + m + fm.horizontalAdvance(QLatin1Char('x')) * 30);
    const int h = std::max(twipsY(kDefaultHeightTwips), m + textHeight + m + line + m);
    m_window->resize(w, h);
    m_imgBackground->setGeometry(0, 0, w, h);
    m_imgUser->setGeometry(m, m, textHeight, textHeight);
    const int x0 = 2 * m + textHeight;
    const int textWidth = w - x0 - m;
    m_image1->setGeometry(w - m - line, m, line, line);
    m_lblCallerNumber->setGeometry(x0, m, textWidth - line - m, line);
    m_lblCallerName->setGeometry(x0, m + line, textWidth, nameLine);
    m_lblExtrainfo->setGeometry(x0, m + line + nameLine, textWidth, line);
    const int row = h - m - line;
    m_lblCountDown->setGeometry(m, row, fm.horizontalAdvance(QStringLiteral("0000")), line);
    for (QLabel* action : m_lblAction)
        action->setGeometry(0, row, 0, line);
}

void CallPopupWindow::PlaceDefault()
{
    if (!m_window)
        return;
    if (m_window->windowState() != Qt::WindowNoState)
        m_window->setWindowState(Qt::WindowNoState);
    const QSize initial = m_resizer ? m_resizer->initialSize() : QSize();
    if (initial.isValid())
        m_window->resize(initial);
    const QRect frame = m_window->frameGeometry();
    QScreen* screen = m_window->screen() ? m_window->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen->availableGeometry();
    m_window->move(area.right() + 1 - frame.width() - twipsX(kCornerMarginTwips),
                   area.bottom() + 1 - frame.height() - twipsY(kCornerMarginTwips));
}

void CallPopupWindow::ShowCall(const QString& callerNumber, const QString& calledNumber,
                               const QString& firstName, const QString& lastName,
                               const QString& extra, const QString& picturePath,
                               const QString& actionLinks, const QVariant& contact,
                               const QString& callerGUID)
{
    MainForm& form = *m_ctx.form;
    const MainOptions& options = form.options();
    prepare();
    m_resizer = new FormControlPos(this);
    m_resizer->Init(m_window);
    for (QLabel* l : m_window->findChildren<QLabel*>())
        m_resizer->AddProportional(l);
    connect(m_resizer, &FormControlPos::applied, this, &CallPopupWindow::layoutScaled);
    PlaceDefault();

    WidgetFormWindow position(m_window);
    FormPosition::RestoreFormPos(form.settings(), position, kPositionKey, true);
    m_wantedPos = m_window->pos();
    if (m_stack) {
        QScreen* screen = m_window->screen();
        m_window->move(m_stack->freePosition(this, m_window->frameGeometry(),
                                             screen ? screen->availableGeometry() : QRect()));
    }
    m_stackedPos = m_window->pos();

    if (!actionLinks.isEmpty()) {
        const QStringList captions = actionLinks.split(QLatin1Char('|'));
        for (qsizetype i = std::min<qsizetype>(captions.size(), kActionCount) - 1; i >= 0; --i)
            m_lblAction[size_t(i)]->setText(captions[i]);
    }

    const QString backgroundFile =
        form.settings()
            .GetSettingHKCU(QStringLiteral("Options"), QStringLiteral("NotifyBGImage"), QString())
            .toString();
    if (!backgroundFile.isEmpty() && QFileInfo(backgroundFile).isFile()) {
        m_background = QPixmap(backgroundFile);
        if (!m_background.isNull()) {
            m_imgBackground->show();
            m_imgBackground->lower();
        }
    }

    const int transparency = std::clamp(options.number(QStringLiteral("slTransparency")), 0, 100);
    if (transparency > 0)
        m_fader->set(100);

    const int source = options.number(QStringLiteral("cmbDataConnection"));
    m_contactKey = callerGUID;
    m_contact = source == NumberLookup::Outlook ? contact : QVariant();
    m_hasContact = (source == NumberLookup::Outlook && contact.isValid()) ||
                   ((source == NumberLookup::Outlook || source == NumberLookup::Database) &&
                    !callerGUID.isEmpty());

    m_calledNumber = calledNumber;
    m_window->setWindowTitle(title());
    m_number = callerNumber.isEmpty() ? GetS(QStringLiteral("(unknown)")) : callerNumber;
    // No blank after a first name without a last one: the name also goes to
    // the contact manager and the clipboard.
    m_name = firstName.isEmpty()  ? lastName
             : lastName.isEmpty() ? firstName
                                  : firstName + QLatin1Char(' ') + lastName;
    m_extra = extra;

    const QRect frame = m_window->frameGeometry();
    logLine(QStringLiteral("Showing callerID notification: title: \"%1\" number: \"%2\" name: "
                           "\"%3\" extra: \"%4\" left: %5 top: %6 width: %7 height: %8")
                .arg(m_window->windowTitle(), m_number, m_name, m_extra)
                .arg(frame.x())
                .arg(frame.y())
                .arg(frame.width())
                .arg(frame.height()));

    m_userPicture = loadPicture(picturePath);
    if (m_userPicture.isNull())
        m_userPicture =
            loadPicture(form.settings()
                            .GetSettingHKCU(QStringLiteral("Options"),
                                            QStringLiteral("NotifyUnknownImage"), QString())
                            .toString());
    m_placeholderPicture = m_userPicture.isNull();
    if (m_placeholderPicture)
        m_userPicture = defaultPicture(m_window->palette(), 128);

    m_clickable = source == NumberLookup::Outlook ||
                  (source == NumberLookup::Database &&
                   !(m_ctx.contactEditingTakenOver && m_ctx.contactEditingTakenOver()));
    for (QLabel* l : {m_lblCallerName, m_lblCallerNumber, m_lblExtrainfo, m_imgUser, m_image1})
        l->setCursor(m_clickable ? Qt::PointingHandCursor : Qt::ArrowCursor);

    if (source == NumberLookup::Outlook && m_hasContact &&
        form.settings()
                .GetSettingHKCU(QStringLiteral("Outlook"), QStringLiteral("OpenContact"),
                                QStringLiteral("0"))
                .toString() == QLatin1String("1")) {
        logLine(QStringLiteral("Opening Outlook contact: id: ") + m_contactKey +
                QStringLiteral(" name: ") + m_name);
        if (AddressBookService* book = m_ctx.addressBook ? m_ctx.addressBook() : nullptr)
            book->openContact(m_contactKey);
    }

    layoutScaled();
    if (transparency > 0) {
        m_window->show();
        m_fader->fadeTo(transparency, kFadeInPauseMs);
    } else {
        m_fader->set(0);
        m_window->show();
    }

    if (options.flag(QStringLiteral("cbAutoHide"))) {
        m_countdown = options.number(QStringLiteral("txtAutoHideSeconds"));
        m_countdownStart = Clock::instance().now();
        m_lblCountDown->setText(QString::number(m_countdown));
        m_lblCountDown->show();
        m_tmrClose.start();
    }
}

QString CallPopupWindow::title() const
{
    return m_calledNumber.isEmpty() ? GetS(QStringLiteral("Incoming call"))
                                    : GetS(QStringLiteral("Incoming call for %s"), m_calledNumber);
}

void CallPopupWindow::retranslate()
{
    if (!m_window)
        return;
    FormTranslator::TranslateForm(m_window, m_ctx.form->loc());
    m_window->setWindowTitle(title());
}

QPixmap CallPopupWindow::loadPicture(const QString& path)
{
    if (path.isEmpty())
        return {};
    if (!QFileInfo(path).isFile()) {
        logLine(GetS(QStringLiteral("Picture not shown, no such file: %s"), path));
        return {};
    }
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QImage image = reader.read();
    if (image.isNull()) {
        logLine(m_ctx.form->GetS(QStringLiteral("Picture %s not shown: %s"), path,
                                 reader.errorString()));
        return {};
    }
    return QPixmap::fromImage(image);
}

void CallPopupWindow::setPicture(QLabel* label, const QPixmap& picture)
{
    if (picture.isNull() || label->size().isEmpty())
        return;
    const qreal ratio = m_window->devicePixelRatioF();
    QPixmap scaled =
        picture.scaled(label->size() * ratio, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    scaled.setDevicePixelRatio(ratio);
    label->setPixmap(scaled);
}

// After every layout of the resizer: texts shortened to their labels (in full
// in the tool tip), pictures fitted, actions placed.
void CallPopupWindow::layoutScaled()
{
    const auto fit = [](QLabel* label, const QString& text) {
        const QString shown =
            label->fontMetrics().elidedText(text, Qt::ElideRight, std::max(label->width(), 1));
        label->setText(shown);
        label->setToolTip(shown == text ? QString() : text);
    };
    fit(m_lblCallerNumber, m_number);
    fit(m_lblCallerName, m_name);
    fit(m_lblExtrainfo, m_extra);
    setPicture(m_imgUser, m_userPicture);
    if (!m_image1->size().isEmpty())
        m_image1->setPixmap(
            SysTray::stateIcon(true).pixmap(m_image1->size(), m_window->devicePixelRatioF()));
    if (m_imgBackground->isVisible()) {
        m_imgBackground->setPixmap(m_background.scaled(
            m_imgBackground->size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    }
    LayoutActions();
}

void CallPopupWindow::LayoutActions()
{
    int right = m_window->width() - twipsX(kActionsRightTwips);
    for (QLabel* action : m_lblAction) {
        const int width = action->text().isEmpty() ? 0 : action->sizeHint().width();
        const int left = right - width;
        action->setGeometry(left, action->y(), width, action->height());
        action->setVisible(!action->text().isEmpty());
        right = left - twipsX(kActionGapTwips);
    }
}

void CallPopupWindow::setHover(bool captionsHot, QLabel* hotAction)
{
    for (QLabel* l : {m_lblCallerName, m_lblCallerNumber, m_lblExtrainfo}) {
        QFont font = l->font();
        font.setUnderline(captionsHot);
        l->setFont(font);
        // The theme's link colour: blue on light themes, readable on dark ones.
        l->setForegroundRole(captionsHot ? QPalette::Link : QPalette::WindowText);
    }
    for (QLabel* action : m_lblAction) {
        QFont font = action->font();
        font.setUnderline(action == hotAction);
        action->setFont(font);
    }
}

bool CallPopupWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_window && event->type() == QEvent::PaletteChange && m_placeholderPicture) {
        // The desktop switched between a light and a dark theme.
        m_userPicture = defaultPicture(m_window->palette(), 128);
        setPicture(m_imgUser, m_userPicture);
    }
    if (watched == m_window && event->type() == QEvent::Close && !m_unloading) {
        // Closed by the user: the same unloading as the countdown's.
        event->ignore();
        unload();
        return true;
    }
    auto* label = qobject_cast<QLabel*>(watched);
    if (!label || label->parent() != m_window)
        return CallPopup::eventFilter(watched, event);
    const bool caption =
        label == m_lblCallerName || label == m_lblCallerNumber || label == m_lblExtrainfo;
    const bool action = label->objectName() == QLatin1String("lblAction");
    switch (event->type()) {
    case QEvent::Enter:
        if (caption && m_clickable)
            setHover(true, nullptr);
        else if (action)
            setHover(false, label);
        break;
    case QEvent::Leave:
        setHover(false, nullptr);
        break;
    case QEvent::MouseButtonRelease: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton ||
            !label->rect().contains(mouse->position().toPoint()))
            break;
        if (label == m_lblCountDown) {
            stopCountdown();
        } else if (action) {
            const QString text = label->text();
            QPointer<CallPopupWindow> self(this);
            m_ctx.form->RaiseNotificationAction(text);
            if (!self || !m_window)
                return true;
            setHover(false, nullptr);
            if (label->text() != text)
                LayoutActions();
        } else if (m_clickable && (caption || label == m_imgUser || label == m_image1)) {
            openContact();
        }
        return true;
    }
    case QEvent::MouseButtonDblClick:
        if (caption) {
            const QString full = label == m_lblCallerName     ? m_name
                                 : label == m_lblCallerNumber ? m_number
                                                              : m_extra;
            QGuiApplication::clipboard()->setText(full);
            return true;
        }
        break;
    default:
        break;
    }
    return CallPopup::eventFilter(watched, event);
}

void CallPopupWindow::openContact()
{
    setHover(false, nullptr);
    const int source = m_ctx.form->options().number(QStringLiteral("cmbDataConnection"));
    if (source == NumberLookup::Outlook) {
        AddressBookService* book = m_ctx.addressBook ? m_ctx.addressBook() : nullptr;
        if (!book)
            return;
        QString entryId = m_contactKey;
        if (entryId.isEmpty() && m_contact.canConvert<AddressBookContact>())
            entryId = m_contact.value<AddressBookContact>().entryId;
        if (m_hasContact && book->openContact(entryId))
            return;
        book->createAndOpenContact(m_name, m_number);
    } else if (source == NumberLookup::Database) {
        if (m_hasContact)
            runContactManager(
                {QStringLiteral("/command=open"), QStringLiteral("/guid=") + m_contactKey});
        else
            runContactManager({QStringLiteral("/command=new"),
                               quotedArgument(QStringLiteral("/number="), m_number),
                               quotedArgument(QStringLiteral("/name="), m_name)});
    }
}

void CallPopupWindow::runContactManager(const QStringList& arguments)
{
    ContactManagerLauncher* manager = m_ctx.contactManager ? m_ctx.contactManager() : nullptr;
    // One contact manager per popup: clicks while it runs start no second one.
    if (!manager || m_waitingForManager)
        return;
    QPointer<CallPopupWindow> self(this);
    m_waitingForManager = manager->startAndWait(arguments, [self](int) {
        if (self)
            self->m_waitingForManager = false;
    });
}

void CallPopupWindow::tick()
{
    const qint64 elapsed = m_countdownStart.msecsTo(Clock::instance().now());
    const int remaining = m_countdown - int(std::max<qint64>(elapsed, 0) / 1000);
    m_lblCountDown->setText(QString::number(std::max(remaining, 0)));
    if (remaining <= 0) {
        m_tmrClose.stop();
        unload();
    }
}

void CallPopupWindow::stopCountdown()
{
    m_tmrClose.stop();
    m_lblCountDown->hide();
}

void CallPopupWindow::unload()
{
    if (m_unloading)
        return;
    m_unloading = true;
    m_tmrClose.stop();
    if (!m_window || !m_window->isVisible()) {
        finishUnload();
        return;
    }
    MainForm& form = *m_ctx.form;
    WidgetFormWindow position(m_window);
    FormPosition::SaveFormPos(form.settings(), position, kPositionKey);
    // Moved only to make room for another popup: the next one still comes
    // where the user wants popups.
    if (m_window->pos() == m_stackedPos && m_stackedPos != m_wantedPos &&
        m_window->windowState() == Qt::WindowNoState) {
        form.settings().SaveSettingHKCU(
            kPositionKey, QStringLiteral("Left"),
            QString::number(std::lround(m_wantedPos.x() * 1440.0 / m_window->logicalDpiX())));
        form.settings().SaveSettingHKCU(
            kPositionKey, QStringLiteral("Top"),
            QString::number(std::lround(m_wantedPos.y() * 1440.0 / m_window->logicalDpiY())));
    }
    if (form.options().number(QStringLiteral("slTransparency")) > 0)
        m_fader->fadeTo(100, kFadeOutPauseMs, [this] { finishUnload(); });
    else
        finishUnload();
}

void CallPopupWindow::finishUnload()
{
    if (m_window)
        m_window->hide();
    m_fader->set(0);
    deleteLater();
}

CallPopupWindows::CallPopupWindows(CallPopupContext context, QObject* parent)
    : QObject(parent), m_ctx(std::move(context))
{}

CallPopupWindows::~CallPopupWindows()
{
    for (const QPointer<CallPopupWindow>& popup : std::as_const(m_popups))
        delete popup.data();
    delete m_spare.data();
}

CallPopup* CallPopupWindows::createPopup()
{
    m_popups.removeAll(nullptr);
    CallPopupWindow* popup = m_spare ? m_spare.data() : new CallPopupWindow(m_ctx, this);
    m_spare.clear();
    m_popups << popup;
    if (m_keepSpare)
        QTimer::singleShot(kSpareAfterMs, this, &CallPopupWindows::prepareSpare);
    return popup;
}

void CallPopupWindows::prepareSpare()
{
    m_keepSpare = true;
    if (m_spare)
        return;
    m_spare = new CallPopupWindow(m_ctx, this);
    m_spare->prepare();
}

QList<CallPopupWindow*> CallPopupWindows::openPopups() const
{
    QList<CallPopupWindow*> open;
    for (const QPointer<CallPopupWindow>& popup : m_popups)
        if (popup && !popup->m_unloading && popup->window() && popup->window()->isVisible())
            open << popup.data();
    return open;
}

void CallPopupWindows::retranslate()
{
    if (m_spare)
        m_spare->retranslate();
    for (CallPopupWindow* popup : openPopups())
        popup->retranslate();
}

QPoint CallPopupWindows::freePosition(const CallPopupWindow* popup, const QRect& frame,
                                      const QRect& workArea) const
{
    const QList<CallPopupWindow*> open = openPopups();
    QRect place = frame;
    // A window not shown yet has no frame: take that of one that has.
    if (!open.isEmpty() && popup && popup->window() && !popup->window()->isVisible()) {
        const QWidget* shown = open.first()->window();
        place.setSize(frame.size() + shown->frameGeometry().size() - shown->size());
    }
    // Each step moves above one popup in the way; as many steps as popups.
    for (qsizetype step = 0; step <= open.size(); ++step) {
        const auto blocker = std::find_if(open.begin(), open.end(), [&](CallPopupWindow* other) {
            return other != popup && other->window()->frameGeometry().intersects(place);
        });
        if (blocker == open.end())
            return place.topLeft();
        place.moveBottom((*blocker)->window()->frameGeometry().top() - 1);
        if (workArea.isValid() && place.top() < workArea.top())
            break; // the screen is full: the newest goes where it was asked to
    }
    return frame.topLeft();
}
