#pragma once
// Find in All Dictionaries: textures by name across the open archive or the
// open file's folder. The search runs on a worker thread and its results come
// in as it goes; Stop ends it. Choosing a result opens its texture.
#include <QDialog>
#include <QStringList>
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "archive/texture_search.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class QTreeWidget;

class TFindAllDialog : public QDialog {
public:
    explicit TFindAllDialog(QWidget* owner);
    ~TFindAllDialog() override;

    // Where the next search looks: an archive's file or a folder.
    void SetScope(const std::string& where);
    const std::string& Scope() const { return scope_; }
    // Shows the dialog over scope, its find field ready for typing.
    void Present(const std::string& where);
    // Searches the scope for the pattern in the find field; a search under way ends first.
    void Search();
    // Ends a search under way; what it found stays listed.
    void Stop();
    // From Search until its last result is listed.
    bool Searching() const { return searching_; }
    const std::vector<kelmora::TextureMatch>& Results() const { return results_; }

    // Runs when the user chooses a result (double click, Return).
    std::function<void(const kelmora::TextureMatch&)> Open;

    QLineEdit* edtPattern;
    QPushButton* btnFind;
    QPushButton* btnStop;
    QTreeWidget* tvResults;
    QLabel* lblStatus;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    // Takes what the worker found so far into the list.
    void TakeFound();
    void ShowCount();

    QLabel* scopeLabel_;
    QTimer* timer_;
    std::string scope_;
    std::thread worker_;
    std::atomic<bool> stop_{false}, done_{true};
    std::mutex mutex_;
    std::vector<kelmora::TextureMatch> found_; // the worker's, not yet listed
    QStringList problems_;
    std::vector<kelmora::TextureMatch> results_;
    std::size_t problemCount_ = 0;
    bool stopped_ = false;
    bool searching_ = false;
};
