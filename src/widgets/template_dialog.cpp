#include "widgets/template_dialog.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QList>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTextBoundaryFinder>
#include <QTimerEvent>
#include <algorithm>
#include <utility>

namespace widgets {
namespace {

constexpr char kAverageWidthSample[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

const MessageMap kEmptyMessageMap = {nullptr, 0, nullptr, nullptr};

QString FromBytes(const char* text) { return text ? QString::fromLatin1(text) : QString(); }

// Its own class name lets the accessibility factory below answer for value fields: Qt asks the
// factories by class name, most derived first, and its own one claims every plain QLabel.
class ValueFieldLabel final : public QLabel {
  Q_OBJECT

 public:
  using QLabel::QLabel;

 protected:
  // A dialog may give a field the focus for a screen reader to follow. QLabel would then lay its
  // text out anew through an editing control, which draws the glyphs elsewhere: not here.
  void focusInEvent(QFocusEvent* event) override { QFrame::focusInEvent(event); }
};

// A group box as the dialog templates place it: its top line runs through the middle of the
// caption, which interrupts it, so the rows placed 8 to 10 dialog units below the box's top sit
// inside the frame. Qt's styles draw the caption above the frame and the top line a whole
// caption's height down, across those rows.
class CaptionedFrame final : public QGroupBox {
 public:
  using QGroupBox::QGroupBox;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const QFontMetrics metrics(font());
    const int lineTop = metrics.height() / 2;
    const int indent = metrics.averageCharWidth();
    const int pad = std::max(1, metrics.averageCharWidth() / 3);
    const QString caption = title();
    const QRect captionBox(indent, 0,
                           caption.isEmpty() ? 0 : metrics.horizontalAdvance(caption) + 2 * pad,
                           metrics.height());
    painter.save();
    painter.setClipRegion(QRegion(rect()).subtracted(QRegion(captionBox)));
    // An etched line: its light half one pixel right of and below its shadow.
    const QRect frame = rect().adjusted(0, lineTop, -1, -1);
    painter.setPen(palette().color(QPalette::Light));
    painter.drawRect(frame.adjusted(1, 1, 0, 0));
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(frame.adjusted(0, 0, -1, -1));
    painter.restore();
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(captionBox, Qt::AlignCenter | Qt::TextSingleLine, caption);
  }
};

QLabel* MakeStatic(const ControlRow& row, QWidget* parent) {
  const bool valueField =
      row.kind == ControlKind::kValueField || row.kind == ControlKind::kCentredText;
  QLabel* label = valueField ? new ValueFieldLabel(parent) : new QLabel(parent);
  // Text from the modem or from ati3.dat lands in these; it must never be read as markup.
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(true);
  switch (row.kind) {
    case ControlKind::kLabelRight: label->setAlignment(Qt::AlignRight | Qt::AlignTop); break;
    case ControlKind::kValueField:
      // Centred both ways: a framed label indents top-aligned text by half an "x", which pushes
      // the descenders of a one-line value out of its 10-unit field.
      label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
      label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
      label->setLineWidth(1);
      break;
    case ControlKind::kCentredText: label->setAlignment(Qt::AlignHCenter | Qt::AlignTop); break;
    default: label->setAlignment(Qt::AlignLeft | Qt::AlignTop); break;
  }
  label->setText(FromBytes(row.text));
  return label;
}

// A value field is read as its label's name with its text as the value. Qt's own label
// interface offers neither the text nor its changes to a screen reader: the desktop bridge
// forwards a text only through the text interface, and a change only as a text update of it.
class ValueFieldAccessible final : public QAccessibleWidget, public QAccessibleTextInterface {
 public:
  explicit ValueFieldAccessible(QLabel* label)
      : QAccessibleWidget(label, QAccessible::StaticText) {}

  QString text(QAccessible::Text t) const override {
    // A field nothing names is read as its text alone.
    if (t == QAccessible::Name) return Named() ? widget()->accessibleName() : Text();
    if (t == QAccessible::Value) return Named() ? Text() : QString();
    return QAccessibleWidget::text(t);
  }

  void* interface_cast(QAccessible::InterfaceType t) override {
    if (t == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
    return QAccessibleWidget::interface_cast(t);
  }

  // Read-only text: no caret to move, no selection to make.
  void selection(int, int* start, int* end) const override { *start = *end = 0; }
  int selectionCount() const override { return 0; }
  void addSelection(int, int) override {}
  void removeSelection(int) override {}
  void setSelection(int, int, int) override {}
  int cursorPosition() const override { return 0; }
  void setCursorPosition(int) override {}
  void scrollToSubstring(int, int) override {}

  QString text(int start, int end) const override {
    const QString all = Text();
    start = std::clamp(start, 0, int(all.size()));
    end = end < 0 ? int(all.size()) : std::clamp(end, start, int(all.size()));
    return all.mid(start, end - start);
  }
  int characterCount() const override { return int(Text().size()); }

  QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int* start,
                       int* end) const override {
    return Piece(Segment(offset, type), start, end);
  }
  QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int* start,
                           int* end) const override {
    const int first = Segment(offset, type).first;
    return first > 0 ? Piece(Segment(first - 1, type), start, end) : Piece({0, 0}, start, end);
  }
  QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int* start,
                          int* end) const override {
    const int last = Segment(offset, type).second;
    return last < characterCount() ? Piece(Segment(last, type), start, end)
                                   : Piece({last, last}, start, end);
  }

  // The field's text is short and centred: its box stands for each of its characters.
  QRect characterRect(int) const override { return rect(); }
  int offsetAtPoint(const QPoint&) const override { return -1; }
  QString attributes(int, int* start, int* end) const override {
    *start = 0;
    *end = characterCount();
    return {};
  }

 private:
  [[nodiscard]] QString Text() const { return static_cast<const QLabel*>(widget())->text(); }
  [[nodiscard]] bool Named() const { return !widget()->accessibleName().isEmpty(); }

  // The character, word, sentence or whole text that holds offset, as [first, last).
  [[nodiscard]] std::pair<int, int> Segment(int offset, QAccessible::TextBoundaryType type) const {
    const QString all = Text();
    const int size = int(all.size());
    offset = std::clamp(offset, 0, size);
    QTextBoundaryFinder::BoundaryType finderType = QTextBoundaryFinder::Grapheme;
    switch (type) {
      case QAccessible::CharBoundary: break;
      case QAccessible::WordBoundary: finderType = QTextBoundaryFinder::Word; break;
      case QAccessible::SentenceBoundary: finderType = QTextBoundaryFinder::Sentence; break;
      default: return {0, size};  // lines and paragraphs: a field holds one of each
    }
    if (offset == size) return {size, size};
    QTextBoundaryFinder finder(finderType, all);
    finder.setPosition(offset);
    const int first = finder.isAtBoundary() ? offset : int(finder.toPreviousBoundary());
    finder.setPosition(offset);
    const int last = int(finder.toNextBoundary());
    return {std::max(first, 0), last < 0 ? size : last};
  }
  [[nodiscard]] QString Piece(std::pair<int, int> range, int* start, int* end) const {
    *start = range.first;
    *end = range.second;
    return text(range.first, range.second);
  }
};

QAccessibleInterface* ValueFieldFactory(const QString& className, QObject* object) {
  auto* label = qobject_cast<ValueFieldLabel*>(object);
  if (!label || className != QLatin1String(ValueFieldLabel::staticMetaObject.className()))
    return nullptr;
  return new ValueFieldAccessible(label);
}

bool IsLabel(ControlKind kind) {
  return kind == ControlKind::kLabelLeft || kind == ControlKind::kLabelRight;
}

// "Digital Local  Loop Back Test : " reads as "Digital Local Loop Back Test".
QString NameFromLabel(const char* text) {
  QString name = FromBytes(text).simplified();
  while (name.endsWith(QLatin1Char(':')) || name.endsWith(QLatin1Char(' '))) name.chop(1);
  return name;
}

// The label a user sees as the field's caption: on the same line, ending just left of it
// (at most a few dialog units away), the nearest one.
const ControlRow* LabelBeside(const DialogTemplate& dialogTemplate, const ControlRow& field) {
  constexpr int kMaxGap = 4;
  const ControlRow* best = nullptr;
  for (int i = 0; i < dialogTemplate.controlCount; ++i) {
    const ControlRow& row = dialogTemplate.controls[i];
    if (!IsLabel(row.kind)) continue;
    const int gap = field.x - (row.x + row.w);
    const bool sameLine = row.y < field.y + field.h && field.y < row.y + row.h;
    if (!sameLine || gap < 0 || gap > kMaxGap) continue;
    if (!best || gap < field.x - (best->x + best->w)) best = &row;
  }
  return best;
}

}  // namespace

QFont DialogFont() {
  // Qt's font database keeps the families it found, so asking again per dialog is cheap.
  const bool haveClassicFont = QFontDatabase::hasFamily(QStringLiteral("MS Sans Serif"));
  QFont font(haveClassicFont ? QStringLiteral("MS Sans Serif") : QStringLiteral("Sans Serif"));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(8);
  return font;
}

TemplateDialog::TemplateDialog(const DialogTemplate& dialogTemplate, QWidget* parent)
    : QDialog(parent), dialogTemplate_(dialogTemplate) {
  if (dialogTemplate_.style == DialogStyle::kMainWindow) {
    // A plain window, not a dialog: the window manager then gives it a taskbar entry and a
    // minimise box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
  } else {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  }
  setWindowTitle(FromBytes(dialogTemplate_.caption));
  setSizeGripEnabled(false);
  setFont(DialogFont());

  const QFontMetrics metrics(font());
  // The average width of the 52 letters, rounded to the nearest pixel.
  baseX_ = (metrics.horizontalAdvance(QLatin1String(kAverageWidthSample)) / 26 + 1) / 2;
  baseY_ = metrics.height();

  setFixedSize(DialogUnitsToPixels(0, 0, dialogTemplate_.width, dialogTemplate_.height).size());
  BuildControls();
}

TemplateDialog::~TemplateDialog() = default;

const MessageMap& TemplateDialog::GetMessageMap() const { return kEmptyMessageMap; }

QRect TemplateDialog::DialogUnitsToPixels(int x, int y, int w, int h) const {
  return QRect((x * baseX_ + 2) / 4, (y * baseY_ + 4) / 8, (w * baseX_ + 2) / 4,
               (h * baseY_ + 4) / 8);
}

void TemplateDialog::BuildControls() {
  // Before the first field exists: Qt makes a widget's interface at its first text change and
  // keeps it.
  static const bool factoryInstalled = (QAccessible::installFactory(ValueFieldFactory), true);
  (void)factoryInstalled;
  QList<QGroupBox*> groupBoxes;
  for (int i = 0; i < dialogTemplate_.controlCount; ++i) {
    const ControlRow& row = dialogTemplate_.controls[i];
    QRect rect = DialogUnitsToPixels(row.x, row.y, row.w, row.h);
    QWidget* widget = nullptr;
    switch (row.kind) {
      case ControlKind::kPushButton:
      case ControlKind::kDefaultPushButton: {
        auto* button = new QPushButton(FromBytes(row.text), this);
        button->setAutoDefault(true);
        button->setDefault(row.kind == ControlKind::kDefaultPushButton);
        const int id = row.id;
        connect(button, &QPushButton::clicked, this, [this, id] { OnControlClicked(id); });
        widget = button;
        break;
      }
      case ControlKind::kGroupBox: {
        auto* box = new CaptionedFrame(FromBytes(row.text), this);
        box->setFocusPolicy(Qt::NoFocus);
        groupBoxes.append(box);
        widget = box;
        break;
      }
      case ControlKind::kImage: {
        auto* image = new QLabel(this);
        const QPixmap pixmap(FromBytes(row.text));
        image->setPixmap(pixmap);
        // A picture shows at its own size; the template's width and height are not used.
        if (!pixmap.isNull()) rect.setSize(pixmap.deviceIndependentSize().toSize());
        widget = image;
        break;
      }
      case ControlKind::kProgressBar: {
        auto* bar = new QProgressBar(this);
        bar->setRange(0, 100);
        bar->setTextVisible(false);
        bar->setValue(0);
        widget = bar;
        break;
      }
      default: widget = MakeStatic(row, this); break;
    }
    widget->setGeometry(rect);
    rowWidgets_.append(widget);
    if (row.id != kNoId && !items_.contains(row.id)) items_.insert(row.id, widget);
  }
  // Group boxes come late in some templates but must not cover the controls they frame.
  for (QGroupBox* box : groupBoxes) box->lower();
  NameControls();
}

void TemplateDialog::NameControls() {
  for (int i = 0; i < dialogTemplate_.controlCount; ++i) {
    const ControlRow& row = dialogTemplate_.controls[i];
    QWidget* widget = rowWidgets_[i];
    const bool valueField =
        row.kind == ControlKind::kValueField || row.kind == ControlKind::kCentredText;
    const ControlRow* label = valueField || row.kind == ControlKind::kProgressBar
                                  ? LabelBeside(dialogTemplate_, row)
                                  : nullptr;
    QString name;
    if (row.id != kNoId) {
      for (int n = 0; n < dialogTemplate_.nameCount; ++n) {
        if (dialogTemplate_.names[n].id == row.id) name = FromBytes(dialogTemplate_.names[n].name);
      }
    }
    if (name.isEmpty() && label) name = NameFromLabel(label->text);
    if (name.isEmpty() && row.kind == ControlKind::kImage) name = FromBytes(row.imageName);
    if (label) {
      // The field is what the label describes: Qt reports the pair to screen readers.
      if (auto* caption = qobject_cast<QLabel*>(rowWidgets_[int(label - dialogTemplate_.controls)]))
        caption->setBuddy(widget);
    }
    if (!name.isEmpty()) widget->setAccessibleName(name);
  }
}

QWidget* TemplateDialog::Item(int id) const { return items_.value(id, nullptr); }

QWidget* TemplateDialog::ControlForRow(int index) const {
  return index >= 0 && index < rowWidgets_.size() ? rowWidgets_[index] : nullptr;
}

void TemplateDialog::SetItemText(int id, const char* text) {
  QWidget* widget = Item(id);
  if (auto* label = qobject_cast<QLabel*>(widget)) {
    const QString before = label->text();
    label->setText(FromBytes(text));
    // A countdown or a result changes without the focus moving: a screen reader hears it only
    // from a text update of the field's own.
    if (qobject_cast<ValueFieldLabel*>(label) && label->text() != before) {
      QAccessibleTextUpdateEvent event(label, 0, before, label->text());
      QAccessible::updateAccessibility(&event);
    }
  } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
    button->setText(FromBytes(text));
  } else if (auto* box = qobject_cast<QGroupBox*>(widget)) {
    box->setTitle(FromBytes(text));
  }
}

QString TemplateDialog::ItemText(int id) const {
  QWidget* widget = Item(id);
  if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
  if (auto* button = qobject_cast<QPushButton*>(widget)) return button->text();
  if (auto* box = qobject_cast<QGroupBox*>(widget)) return box->title();
  return {};
}

void TemplateDialog::EnableItem(int id, bool enabled) {
  if (QWidget* widget = Item(id)) widget->setEnabled(enabled);
}

bool TemplateDialog::IsItemEnabled(int id) const {
  QWidget* widget = Item(id);
  // The control's own state: a modal child blocking the whole dialog does not count.
  return widget && widget->isEnabledTo(const_cast<TemplateDialog*>(this));
}

void TemplateDialog::SetProgressPos(int id, int position) {
  if (auto* bar = qobject_cast<QProgressBar*>(Item(id)))
    bar->setValue(std::clamp(position, 0, 100));
}

int TemplateDialog::ProgressPos(int id) const {
  auto* bar = qobject_cast<QProgressBar*>(Item(id));
  return bar ? bar->value() : -1;
}

// --- Running and ending ---------------------------------------------------------------------

int TemplateDialog::RunModal() {
  ended_ = false;
  endResult_ = 0;
  running_ = true;
  awaitingFirstPaint_ = true;
  OnInitDialog();
  // QDialog::exec() resets the result and shows the dialog, so an ending made during the
  // initialisation would be lost and the loop would never end.
  if (!ended_) {
    if (!testAttribute(Qt::WA_Moved)) CentreForShow();
    exec();
  }
  KillAllTimers();
  running_ = false;
  return endResult_;
}

void TemplateDialog::EndDialog(int result) { done(result); }

void TemplateDialog::done(int result) {
  ended_ = true;
  endResult_ = result;
  QDialog::done(result);
}

void TemplateDialog::reject() { OnControlClicked(kIdCancel); }

void TemplateDialog::CentreForShow() {
  const QSize size = this->size();
  QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
  QPoint centre;
  if (owner && owner->isVisible()) {
    centre = owner->frameGeometry().center();
  } else {
    QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    centre = screen->availableGeometry().center();
  }
  move(centre - QPoint(size.width() / 2, size.height() / 2));
}

void TemplateDialog::OnControlClicked(int id) {
  const MessageMap& map = GetMessageMap();
  for (int i = 0; i < map.clickCount; ++i) {
    if (map.clicks[i].id == id) {
      (this->*map.clicks[i].handler)();
      return;
    }
  }
  if (id == kIdOk || id == kIdCancel) EndDialog(id);
}

void TemplateDialog::PostClose() {
  QMetaObject::invokeMethod(
      this, [this] { close(); }, Qt::QueuedConnection);
}

void TemplateDialog::SendClose() { close(); }

void TemplateDialog::closeEvent(QCloseEvent* event) {
  const MessageMap& map = GetMessageMap();
  if (map.onClose) (this->*map.onClose)();
  // The close request is Cancel by default, but not while a Cancel button of
  // the dialog is disabled.
  QWidget* cancel = Item(kIdCancel);
  if (!cancel || cancel->isEnabledTo(this)) OnControlClicked(kIdCancel);
  // An accepted close hides the window, and hiding a dialog ends its modal loop: only accept
  // when the dialog has really ended.
  if (ended_ || !running_) {
    event->accept();
  } else {
    event->ignore();
  }
}

void TemplateDialog::keyPressEvent(QKeyEvent* event) {
  // The tool has no help content.
  if (event->key() == Qt::Key_F1) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

// --- Timers ---------------------------------------------------------------------------------

void TemplateDialog::StartQtTimer(Timer& timer) {
  timer.qtTimerId = startTimer(timer.milliseconds, Qt::PreciseTimer);
}

void TemplateDialog::SetTimer(int id, int milliseconds) {
  KillTimer(id);
  Timer timer;
  timer.milliseconds = std::max(milliseconds, 0);
  StartQtTimer(timer);
  timers_.insert(id, timer);
}

void TemplateDialog::KillTimer(int id) {
  auto it = timers_.find(id);
  if (it == timers_.end()) return;
  if (it->qtTimerId != 0) killTimer(it->qtTimerId);
  timers_.erase(it);
}

bool TemplateDialog::HasTimer(int id) const { return timers_.contains(id); }

void TemplateDialog::KillAllTimers() {
  for (const Timer& timer : std::as_const(timers_)) {
    if (timer.qtTimerId != 0) killTimer(timer.qtTimerId);
  }
  timers_.clear();
}

void TemplateDialog::timerEvent(QTimerEvent* event) {
  int id = 0;
  bool found = false;
  for (auto it = timers_.begin(); it != timers_.end(); ++it) {
    if (it->qtTimerId == event->timerId()) {
      id = it.key();
      found = true;
      break;
    }
  }
  if (!found) {
    QDialog::timerEvent(event);
    return;
  }
  if (isVisible() && awaitingFirstPaint_) {
    // A tick ranks below painting: hold it (and stop a 0 ms timer from spinning) until the
    // dialog has been painted once.
    Timer& timer = timers_[id];
    killTimer(timer.qtTimerId);
    timer.qtTimerId = 0;
    timer.heldTick = true;
    return;
  }
  const MessageMap& map = GetMessageMap();
  if (map.onTimer) (this->*map.onTimer)(id);
}

void TemplateDialog::ReleaseHeldTimers() {
  // A release queued in an earlier run must not let this run's ticks overtake its first paint.
  if (awaitingFirstPaint_) return;
  QList<int> held;
  for (auto it = timers_.begin(); it != timers_.end(); ++it) {
    if (it->heldTick) held.append(it.key());
  }
  for (int id : held) {
    auto it = timers_.find(id);
    // A handler run for an earlier ID may have killed or re-armed this one.
    if (it == timers_.end() || !it->heldTick) continue;
    it->heldTick = false;
    StartQtTimer(*it);
    const MessageMap& map = GetMessageMap();
    if (map.onTimer) (this->*map.onTimer)(id);
  }
}

bool TemplateDialog::event(QEvent* event) {
  switch (event->type()) {
    case QEvent::Paint:
    case QEvent::Hide:
      // Only the opening of a dialog waits for a paint. A minimised or unmapped window is never
      // painted, so its hide ends the wait too: a later paint may never come.
      if (awaitingFirstPaint_) {
        awaitingFirstPaint_ = false;
        // Queued, so the held ticks come after the whole paint, children included.
        QMetaObject::invokeMethod(this, &TemplateDialog::ReleaseHeldTimers, Qt::QueuedConnection);
      }
      break;
    default: break;
  }
  return QDialog::event(event);
}

}  // namespace widgets

#include "template_dialog.moc"
