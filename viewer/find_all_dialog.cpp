#include "viewer/find_all_dialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "base/errors.h"
#include "base/paths.h"
#include "viewer/messages.h"
#include "viewer/qt_text.h"

using namespace kelmora;

TFindAllDialog::TFindAllDialog(QWidget* owner) : QDialog(owner) {
    setWindowTitle("Find in All Dictionaries");
    auto* layout = new QVBoxLayout(this);
    scopeLabel_ = new QLabel(this);
    scopeLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(scopeLabel_);
    auto* row = new QHBoxLayout();
    auto* label = new QLabel("&Texture name:", this);
    edtPattern = new QLineEdit(this);
    edtPattern->setPlaceholderText("part of a name, or a pattern with * and ?");
    label->setBuddy(edtPattern);
    // Return searches in the find field and opens in the results: no button takes it.
    btnFind = new QPushButton("&Find", this);
    btnFind->setAutoDefault(false);
    btnStop = new QPushButton("&Stop", this);
    btnStop->setAutoDefault(false);
    btnStop->setEnabled(false);
    row->addWidget(label);
    row->addWidget(edtPattern, 1);
    row->addWidget(btnFind);
    row->addWidget(btnStop);
    layout->addLayout(row);
    tvResults = new QTreeWidget(this);
    tvResults->setColumnCount(4);
    tvResults->setHeaderLabels({"Dictionary", "Texture", "Size", "Format"});
    tvResults->setRootIsDecorated(false);
    tvResults->setUniformRowHeights(true);
    tvResults->header()->setSectionResizeMode(QHeaderView::Interactive);
    layout->addWidget(tvResults, 1);
    lblStatus = new QLabel(this);
    layout->addWidget(lblStatus);
    resize(620, 420);

    timer_ = new QTimer(this);
    timer_->setInterval(50);
    connect(timer_, &QTimer::timeout, this, [this] { TakeFound(); });
    connect(btnFind, &QPushButton::clicked, this, [this] { Search(); });
    connect(edtPattern, &QLineEdit::returnPressed, this, [this] { Search(); });
    connect(btnStop, &QPushButton::clicked, this, [this] { Stop(); });
    // A result chosen: the dialog goes, and the window shows the texture.
    auto open = [this] {
        const int row = tvResults->indexOfTopLevelItem(tvResults->currentItem());
        if (row < 0 || static_cast<std::size_t>(row) >= results_.size() || !Open)
            return;
        const kelmora::TextureMatch match = results_[static_cast<std::size_t>(row)];
        close();
        Open(match);
    };
    connect(tvResults, &QTreeWidget::itemActivated, this, open);
    edtPattern->installEventFilter(this);
    setTabOrder(edtPattern, tvResults);
    setTabOrder(tvResults, btnFind);
    setTabOrder(btnFind, btnStop);
}

bool TFindAllDialog::eventFilter(QObject* watched, QEvent* e) {
    // Down goes from the find field to the results, as in the window's list.
    if (watched == edtPattern && e->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(e)->key() == Qt::Key_Down && tvResults->topLevelItemCount() > 0) {
        tvResults->setFocus();
        if (!tvResults->currentItem())
            tvResults->setCurrentItem(tvResults->topLevelItem(0));
        return true;
    }
    return QDialog::eventFilter(watched, e);
}

TFindAllDialog::~TFindAllDialog() { Stop(); }

void TFindAllDialog::hideEvent(QHideEvent* e) {
    // Closed (Escape, a result chosen): a search under way ends, what it found stays.
    Stop();
    QDialog::hideEvent(e);
}

void TFindAllDialog::SetScope(const std::string& where) {
    scope_ = where;
    scopeLabel_->setText("In: " + Q(where));
}

void TFindAllDialog::Present(const std::string& where) {
    if (where != scope_)
        SetScope(where);
    show();
    raise();
    activateWindow();
    edtPattern->setFocus();
    edtPattern->selectAll();
}

void TFindAllDialog::Search() {
    Stop();
    const std::string pattern = S(edtPattern->text().trimmed());
    tvResults->clear();
    results_.clear();
    problemCount_ = 0;
    stopped_ = false;
    if (pattern.empty() || scope_.empty()) {
        lblStatus->clear();
        return;
    }
    stop_ = false;
    done_ = false;
    searching_ = true;
    btnStop->setEnabled(true);
    lblStatus->setText("Searching...");
    const std::string where = scope_;
    worker_ = std::thread([this, where, pattern] {
        auto problem = [this](const std::exception& error) {
            std::lock_guard<std::mutex> lock(mutex_);
            problems_.push_back(ErrorMessage(error));
        };
        try {
            SearchTextures(
                where, pattern,
                [this](TextureMatch&& m) {
                    std::lock_guard<std::mutex> lock(mutex_);
                    found_.push_back(std::move(m));
                },
                problem, [this] { return stop_.load(); });
        } catch (const std::exception& e) {
            problem(e);
        }
        done_ = true;
    });
    timer_->start();
}

void TFindAllDialog::Stop() {
    if (Searching())
        stopped_ = true;
    stop_ = true;
    if (worker_.joinable())
        worker_.join();
    TakeFound();
}

void TFindAllDialog::TakeFound() {
    // Read before the hand-over: once the worker says it is done, all it found is
    // in found_, so nothing it adds after this look is left behind.
    const bool finished = done_.load();
    std::vector<TextureMatch> found;
    QStringList problems;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        found.swap(found_);
        problems.swap(problems_);
    }
    problemCount_ += problems.size();
    // A whole game's matches come in thousands: added to the list together.
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(found.size()));
    for (TextureMatch& m : found) {
        const QString dictionary = m.Entry.empty() ? Q(FileNameOf(m.File)) : Q(ShownText(m.Entry));
        auto* item = new QTreeWidgetItem({dictionary, Q(ShownText(m.Texture.Name)),
                                          QString("%1 x %2").arg(m.Texture.Width).arg(m.Texture.Height),
                                          Q(m.Texture.Format)}); // "8bit" on the console, "DXT1" and the like elsewhere
        item->setToolTip(0, Q(m.File) + (m.Entry.empty() ? QString() : "/" + Q(ShownText(m.Entry))));
        items.append(item);
        results_.push_back(std::move(m));
    }
    tvResults->addTopLevelItems(items);
    const bool first = results_.size() == found.size() && !found.empty();
    if (first)
        tvResults->setCurrentItem(tvResults->topLevelItem(0));
    // The columns fit what they hold: with the first results, and once all are in.
    if (first || (finished && !results_.empty()))
        for (int c = 0; c < tvResults->columnCount(); ++c)
            tvResults->resizeColumnToContents(c);
    if (finished) {
        if (worker_.joinable())
            worker_.join();
        timer_->stop();
        btnStop->setEnabled(false);
        searching_ = false;
    }
    ShowCount();
}

void TFindAllDialog::ShowCount() {
    if (scope_.empty() || (results_.empty() && lblStatus->text().isEmpty()))
        return;
    QString text = QString::number(results_.size()) + " texture(s) found";
    if (problemCount_ > 0)
        text += "; " + QString::number(problemCount_) + " dictionary(ies) could not be read";
    if (Searching())
        text += "; searching...";
    else if (stopped_)
        text += " (stopped)";
    lblStatus->setText(text + ".");
}
