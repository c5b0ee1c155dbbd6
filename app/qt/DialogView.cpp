#include "app/qt/DialogView.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <set>
#include <string_view>
#include <vector>

#include "app/qt/Icons.h"
#include "support/Dialog.h"

namespace sonvex {

namespace {

// How a dialog's controls are grouped; controls in no group follow in their own order.
struct Group {
    const char* szTitle;
    std::vector<int> ids;
};
struct Layout {
    std::string_view szDialog;
    std::vector<Group> groups;
    bool bHelp;
};

const Layout* FindLayout(const std::string& title) {
    static const std::vector<Layout> kLayouts = {
        {"Program Settings",
         {{"Sound Play Device", {101}}, {"File Overwrite Options", {106, 102, 103, 104, 105}}},
         true},
        {"MP3 Encoder Settings",
         {{"Bitrate", {102, 103, 104, 105, 106, 107, 108}}, {"Options", {101, 109}}},
         false},
        {"Ogg Encoder Settings",
         {{"Bitrate", {102, 103, 105, 106, 107, 108}}, {"Output", {109, 110}}},
         false},
        {"Flac Encoder Settings", {{"Compression", {101}}, {"Output", {102, 103}}}, false},
        {"AAC / M4A Encoder Settings",
         {{"Bitrate", {102, 103, 105, 108}}, {"Output", {109, 110}}, {"Options", {106, 107}}},
         false},
        {"Codec Settings", {{"Raw Audio Format", {101, 102, 103}}}, true},
    };
    for (const auto& l : kLayouts)
        if (l.szDialog == title) return &l;
    return nullptr;
}

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

QtDialogView::QtDialogView(LDialog& dialog, QWidget* parent) : QDialog(parent), dlg_(dialog) {
    setWindowTitle(Q(dialog.Title()));
    setWindowIcon(AppIcon());
}

int QtDialogView::Run() {
    Prepare();
    exec();
    return iResult_;
}

void QtDialogView::Prepare() {
    dlg_.InitDialog();
    dlg_.EnableControls();
    Build();
    Refresh();
}

QWidget* QtDialogView::Widget(int id) const {
    auto it = widgets_.find(id);
    return it == widgets_.end() ? nullptr : it->second;
}

QPushButton* QtDialogView::OkButton() const {
    return pButtons_ ? pButtons_->button(QDialogButtonBox::Ok) : nullptr;
}

QPushButton* QtDialogView::CancelButton() const {
    return pButtons_ ? pButtons_->button(QDialogButtonBox::Cancel) : nullptr;
}

QPushButton* QtDialogView::HelpButton() const {
    return pButtons_ ? pButtons_->button(QDialogButtonBox::Help) : nullptr;
}

QWidget* QtDialogView::MakeWidget(LControl& c) {
    using K = LControl::Kind;
    const int id = c.id;
    switch (c.kind) {
        case K::Static: {
            auto* l = new QLabel(Q(c.szLabel));
            l->setWordWrap(true);
            return l;
        }
        case K::Edit: {
            if (!c.items.empty()) {
                // An edit field with suggestions.
                auto* cb = new QComboBox;
                cb->setEditable(true);
                cb->setInsertPolicy(QComboBox::NoInsert);
                connect(cb, &QComboBox::currentTextChanged, this, [this, id](const QString& t) {
                    if (bRefreshing_) return;
                    dlg_.SetText(id, t.toStdString());
                    Changed(id);
                });
                return cb;
            }
            auto* e = new QLineEdit;
            connect(e, &QLineEdit::textEdited, this, [this, id](const QString& t) {
                dlg_.SetText(id, t.toStdString());
                Changed(id);
            });
            return e;
        }
        case K::Check: {
            auto* b = new QCheckBox(Q(c.szLabel));
            connect(b, &QCheckBox::toggled, this, [this, id](bool on) {
                if (bRefreshing_) return;
                dlg_.SetCheck(id, on);
                Changed(id);
            });
            return b;
        }
        case K::Radio: {
            auto* b = new QRadioButton(Q(c.szLabel));
            b->setAutoExclusive(false);  // the logic keeps one checked per group
            connect(b, &QRadioButton::toggled, this, [this, id](bool on) {
                if (bRefreshing_) return;
                if (on) dlg_.SetCheck(id, true);
                Changed(id);
            });
            return b;
        }
        case K::Combo: {
            auto* cb = new QComboBox;
            connect(cb, &QComboBox::currentIndexChanged, this, [this, id](int i) {
                if (bRefreshing_) return;
                dlg_.ComboSetSel(id, i);
                Changed(id);
            });
            return cb;
        }
        case K::Button: {
            auto* b = new QPushButton(Q(c.szLabel));
            b->setAutoDefault(false);
            connect(b, &QPushButton::clicked, this, [this, id] { Changed(id); });
            return b;
        }
    }
    return nullptr;
}

void QtDialogView::Build() {
    auto* top = new QVBoxLayout(this);
    const Layout* layout = FindLayout(dlg_.Title());
    std::set<int> placed;
    std::vector<QPushButton*> extraButtons;

    auto addTo = [&](QFormLayout* form, LControl& c, const char* groupTitle) {
        QWidget* w = MakeWidget(c);
        w->setObjectName(QString("control%1").arg(c.id));
        widgets_[c.id] = w;
        placed.insert(c.id);
        using K = LControl::Kind;
        if (c.kind == K::Button) {
            extraButtons.push_back(static_cast<QPushButton*>(w));
        } else if (c.kind == K::Combo || c.kind == K::Edit) {
            // A lone list whose name is its group's needs no label of its own.
            if (groupTitle && c.szLabel == groupTitle) {
                form->addRow(w);
            } else {
                auto* label = new QLabel(Q(c.szLabel));
                label->setBuddy(w);
                labels_[c.id] = label;
                form->addRow(label, w);
            }
        } else {
            form->addRow(w);
        }
    };

    if (layout) {
        for (const auto& g : layout->groups) {
            auto* box = new QGroupBox(tr(g.szTitle), this);
            auto* form = new QFormLayout(box);
            for (int id : g.ids)
                if (LControl* c = dlg_.Control(id)) addTo(form, *c, g.szTitle);
            top->addWidget(box);
        }
    }
    auto* rest = new QFormLayout;
    for (auto& c : dlg_.Controls())
        if (!placed.count(c.id)) addTo(rest, c, nullptr);
    top->addLayout(rest);

    QDialogButtonBox::StandardButtons buttons = QDialogButtonBox::Ok | QDialogButtonBox::Cancel;
    if (layout && layout->bHelp) buttons |= QDialogButtonBox::Help;
    pButtons_ = new QDialogButtonBox(buttons, this);
    for (QPushButton* b : extraButtons) pButtons_->addButton(b, QDialogButtonBox::ResetRole);
    connect(pButtons_, &QDialogButtonBox::accepted, this, &QtDialogView::accept);
    connect(pButtons_, &QDialogButtonBox::rejected, this, &QtDialogView::reject);
    connect(pButtons_, &QDialogButtonBox::helpRequested, this, [this] { dlg_.CmHelp(); });
    top->addWidget(pButtons_);
    top->setSizeConstraint(QLayout::SetFixedSize);
}

void QtDialogView::Refresh() {
    bRefreshing_ = true;
    for (auto& c : dlg_.Controls()) {
        QWidget* w = Widget(c.id);
        if (!w) continue;
        w->setEnabled(c.bEnabled);
        if (auto it = labels_.find(c.id); it != labels_.end()) it->second->setEnabled(c.bEnabled);
        using K = LControl::Kind;
        if (auto* cb = qobject_cast<QComboBox*>(w)) {
            QStringList items;
            for (const auto& s : c.items) items << Q(s);
            QStringList now;
            for (int i = 0; i < cb->count(); ++i) now << cb->itemText(i);
            if (now != items) {
                cb->clear();
                cb->addItems(items);
            }
            if (c.kind == K::Edit) {
                if (cb->currentText() != Q(c.szText)) cb->setEditText(Q(c.szText));
            } else {
                cb->setCurrentIndex(c.iSel);
            }
        } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
            if (e->text() != Q(c.szText)) e->setText(Q(c.szText));
        } else if (auto* b = qobject_cast<QCheckBox*>(w)) {
            b->setChecked(c.bChecked);
        } else if (auto* r = qobject_cast<QRadioButton*>(w)) {
            r->setChecked(c.bChecked);
        }
    }
    bRefreshing_ = false;
}

void QtDialogView::Changed(int id) {
    dlg_.Command(id);
    Refresh();
}

void QtDialogView::accept() {
    if (!dlg_.CmOk()) return;
    iResult_ = 1;
    QDialog::accept();
}

void QtDialogView::reject() {
    if (!dlg_.CmCancel()) return;
    iResult_ = 2;
    QDialog::reject();
}

}  // namespace sonvex
