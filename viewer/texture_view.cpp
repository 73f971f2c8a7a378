#include "viewer/texture_view.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QThreadPool>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cmath>
#include <cstring>
#include <new>

#include "base/text.h"
#include "dictionary/colour_rules.h"
#include "dictionary/texture_properties.h"
#include "viewer/dialog_services.h"
#include "viewer/palette_view.h"
#include "viewer/picture_box.h"
#include "viewer/messages.h"
#include "viewer/qt_text.h"
#include "viewer/status_panel.h"

using namespace kelmora;

namespace {

QImage ToQImage(const IndexedImage& img) {
    if (img.Width == 0 || img.Height == 0)
        return {};
    QImage q(static_cast<int>(img.Width), static_cast<int>(img.Height), QImage::Format_Indexed8);
    QList<QRgb> table;
    table.reserve(256);
    for (const Rgb& c : img.Colours)
        table.append(qRgb(c.Red, c.Green, c.Blue));
    // Qt gives a null image when the memory for it cannot be had.
    if (q.isNull())
        throw std::bad_alloc();
    q.setColorTable(table);
    for (std::uint32_t y = 0; y < img.Height; ++y)
        std::memcpy(q.scanLine(static_cast<int>(y)), img.Row(y), img.Width);
    return q;
}

QImage ToQImage(const RgbImage& img) {
    if (img.Width == 0 || img.Height == 0)
        return {};
    QImage q(static_cast<int>(img.Width), static_cast<int>(img.Height), QImage::Format_RGB888);
    if (q.isNull())
        throw std::bad_alloc();
    for (std::uint32_t y = 0; y < img.Height; ++y)
        std::memcpy(q.scanLine(static_cast<int>(y)), img.Row(y), 3 * static_cast<std::size_t>(img.Width));
    return q;
}

QImage ToQImage(const Picture& p) {
    return std::visit([](const auto& img) { return ToQImage(img); }, p);
}

QFrame* SunkenPanel(QWidget* parent) {
    auto* f = new QFrame(parent);
    f->setFrameShape(QFrame::Panel);
    f->setFrameShadow(QFrame::Sunken);
    return f;
}

} // namespace

// A decode as the worker or the display itself made it.
struct TTextureView::Decoded {
    DecodedTexture Texture;
    std::uint32_t Start = 0;
    std::exception_ptr Error;
};

TTextureView::TTextureView(QWidget* listSide, QWidget* pictureSide, TStatusPanel& status, TUiServices& ui,
                           std::function<std::uint32_t()> ticks)
    : QObject(listSide), status_(status), ui_(ui), ticks_(std::move(ticks)) {
    Panel2 = SunkenPanel(listSide);
    auto* pal = new QHBoxLayout(Panel2);
    pal->setContentsMargins(1, 1, 1, 1);
    ImgPal = new TPictureBox(Panel2);
    ImgPal->setFixedSize(256, 10);
    ImgPal->hide();
    palView = new TPaletteView(Panel2);
    palView->Hovered = [this](int entry) {
        if (entry < 0 || state_.TrueColour) {
            status_.ReadoutText->clear();
            return;
        }
        const PaletteEntry& e = state_.Palette[static_cast<std::size_t>(entry)];
        status_.ReadoutText->setText(QString("entry %1: %2 %3 %4 %5").arg(entry).arg(e.R).arg(e.G).arg(e.B).arg(e.A));
    };
    palView->Clicked = [this](int entry) {
        auto mark = [this, entry] { MarkEntry(entry == markedEntry_ ? -1 : entry); };
        Run ? Run(mark) : mark();
    };
    pal->addWidget(palView);
    pal->addStretch(1);

    Panel3 = SunkenPanel(listSide);
    Panel3->setMinimumHeight(21);
    auto* bottom = new QHBoxLayout(Panel3);
    bottom->setContentsMargins(4, 1, 4, 1);
    cbxAlpha = new QCheckBox("Draw &Alpha Channel", Panel3);
    bottom->addWidget(cbxAlpha);

    auto* right = new QVBoxLayout(pictureSide);
    right->setContentsMargins(0, 0, 0, 0);
    Image1 = new TPictureBox(pictureSide);
    right->addWidget(Image1);
    Image1->ZoomChanged = [this] { ShowZoom(); };
    Image1->Hovered = [this](QPoint texel) { ShowReadout(texel); };

    tvProperties = new QTreeWidget();
    tvProperties->setColumnCount(2);
    tvProperties->setHeaderLabels({"Property", "Value"});
    tvProperties->setRootIsDecorated(false);
}

TTextureView::~TTextureView() {
    pool_.clear();
    pool_.waitForDone(); // a decode under way ends before what it answers to goes
}

void TTextureView::Clear() {
    ++request_; // a decode on its way is for a display that is gone
    pending_ = 0;
    dictionary_.reset();
    tvProperties->clear();
    Image1->ClearPicture();
    ImgPal->ClearPicture();
    palView->SetColours({});
    status_.SetStatus(QString());
    status_.ReadoutText->clear();
    status_.LevelText->clear();
    shown_ = false;
}

void TTextureView::Show(std::shared_ptr<const Dictionary> dictionary, int entry, int level) {
    Clear();
    if (!dictionary || entry < 0 || static_cast<std::size_t>(entry) >= dictionary->Entries().size())
        return;
    dictionary_ = std::move(dictionary);
    entry_ = entry;
    const TTexEntry texture = dictionary_->Entries()[static_cast<std::size_t>(entry)];
    const DecodeOptions options{!Options || Options().Unswizzle, static_cast<std::uint32_t>(level)};
    cbxAlpha->setEnabled(false);
    // The old grid goes first, so that a large texture never needs room for two.
    std::vector<std::uint8_t>().swap(state_.Pixels);
    std::vector<PaletteEntry>().swap(state_.Texels);
    Decoded decoded;
    decoded.Start = ticks_();
    if (const DecodedTexture* cached = Cached(entry, level, options.Unswizzle)) {
        decoded.Texture = *cached;
        Finish(std::move(decoded));
        return;
    }
    ++decodes_;
    if (std::uint64_t{texture.Width} * texture.Height < kDecodeAheadTexels) {
        decoded.Texture = DecodeTexture(dictionary_->Source(), texture, options);
        Keep(entry, level, options.Unswizzle, decoded.Texture);
        Finish(std::move(decoded));
        return;
    }
    const std::uint64_t request = request_;
    pending_ = request;
    status_.SetStatus("Decoding texture " + QString::number(entry + 1) + "...");
    std::weak_ptr<int> alive = alive_;
    pool_.start([this, alive, request, d = dictionary_, texture, options,
                                          decoded = std::move(decoded)]() mutable {
        try {
            decoded.Texture = DecodeTexture(d->Source(), texture, options);
        } catch (...) {
            decoded.Error = std::current_exception();
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [this, alive, request, options, decoded = std::move(decoded)]() mutable {
                if (alive.expired() || request != request_)
                    return; // the user has moved on, or the window has gone
                pending_ = 0;
                if (decoded.Error) {
                    QString text = "Out of memory";
                    try {
                        std::rethrow_exception(decoded.Error);
                    } catch (const std::exception& e) {
                        text = ErrorBoxText(e);
                    } catch (...) {
                    }
                    ui_.ShowError(Image1, text);
                    return;
                }
                Keep(entry_, static_cast<int>(options.Level), options.Unswizzle, decoded.Texture);
                auto finish = [&] { Finish(std::move(decoded)); };
                Run ? Run(finish) : finish();
            },
            Qt::QueuedConnection);
    });
}

void TTextureView::Finish(Decoded&& decoded) {
    const DecodeResult r = decoded.Texture.Result;
    ApplyDecoded(state_, std::move(decoded.Texture));
    const TViewOptions options = Options ? Options() : TViewOptions{};
    // The panel is filled only while it is shown: it reads the whole picture.
    if (options.Properties)
        FillProperties(r.Ok());
    if (!r.Ok()) {
        ui_.ShowMessage(Image1, DecodeMessage(r));
        return;
    }
    level_ = static_cast<int>(r.Level);
    levelCount_ = r.LevelCount;
    if (levelCount_ > 1)
        status_.LevelText->setText(QString("level %1 of %2 (%3 x %4)")
                                       .arg(level_ + 1)
                                       .arg(levelCount_)
                                       .arg(state_.TexWidth)
                                       .arg(state_.TexHeight));
    // Every level is shown at the size of level 0; the status bar says its own.
    shownSize_ = QSize(static_cast<int>(r.Width), static_cast<int>(r.Height));
    markedEntry_ = -1;
    Present();
    Redraw(false);
    cbxAlpha->setEnabled(true);
    shown_ = true;
    ShowZoom(); // the readout of a level says its own texels' scale
    const std::uint32_t elapsed = ticks_() - decoded.Start;
    status_.SetStatus("Texture " + QString::number(entry_ + 1) + " loaded within " +
                      Q(FormatSeconds(elapsed, S(QLocale().decimalPoint()))) +
                      " seconds. Palette offset: " + QString::number(r.PaletteOffset) +
                      "; Image offset: " + QString::number(r.ImageOffset));
}

void TTextureView::Repaint() {
    if (!shown_)
        return;
    Present();
    Redraw(true);
}

const DecodedTexture* TTextureView::Cached(int entry, int level, bool unswizzle) const {
    for (const CachedDecode& c : cache_)
        if (c.Entry == entry && c.Level == level && c.Unswizzle == unswizzle && c.Dictionary.lock() == dictionary_)
            return &c.Texture;
    return nullptr;
}

void TTextureView::Keep(int entry, int level, bool unswizzle, const DecodedTexture& texture) {
    const auto bytes = [](const DecodedTexture& t) {
        return t.State.Pixels.size() + t.State.Texels.size() * sizeof(PaletteEntry);
    };
    // Large textures are not kept twice: the cache is for going back and forth.
    if (!texture.Ok() || bytes(texture) > kCachedBytes / kCachedDecodes)
        return;
    cache_.push_back({dictionary_, entry, level, unswizzle, texture});
    std::size_t total = 0;
    for (const CachedDecode& c : cache_)
        total += bytes(c.Texture);
    while (cache_.size() > kCachedDecodes || total > kCachedBytes) {
        total -= bytes(cache_.front().Texture);
        cache_.erase(cache_.begin());
    }
}

void TTextureView::Present() {
    const TViewOptions options = Options ? Options() : TViewOptions{};
    const bool alpha = cbxAlpha->isChecked(), brighten = state_.Brightens(options.Brighten);
    // A true-colour texture has no palette: its strip stays empty.
    if (options.ShowPalette && !state_.TrueColour) {
        QImage strip(256, 10, QImage::Format_RGB32);
        strip.fill(Qt::white);
        QPainter p(&strip);
        // One cell an entry the palette holds: 16, 32 or 256 across the strip.
        const int entries = static_cast<int>(state_.PaletteEntries()), cell = 256 / entries;
        std::vector<QColor> cells;
        for (int i = 0; i < entries; ++i) {
            const Rgb c = ViewColour(state_.Palette[static_cast<std::size_t>(i)], alpha, brighten);
            p.fillRect(QRect(cell * i, 0, cell, 9), QColor(c.Red, c.Green, c.Blue));
            cells.emplace_back(c.Red, c.Green, c.Blue);
        }
        p.end();
        ImgPal->SetPicture(strip);
        palView->SetColours(cells);
    }

    picture_ = MakePicture(state_, alpha, brighten);
}

QImage TTextureView::TransparencyPicture() const {
    const std::uint32_t w = state_.TexWidth, h = state_.TexHeight;
    QImage q(static_cast<int>(w), static_cast<int>(h), QImage::Format_ARGB32);
    if (q.isNull())
        throw std::bad_alloc();
    const bool brighten = state_.Brightens(!Options || Options().Brighten);
    for (std::uint32_t y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(q.scanLine(static_cast<int>(y)));
        for (std::uint32_t x = 0; x < w; ++x) {
            const PaletteEntry e = state_.Colour(x, y);
            line[x] = qRgba(e.R, e.G, e.B, brighten ? BrightenAlpha(e.A) : e.A);
        }
    }
    return q;
}

QImage TTextureView::ClipboardPicture() const {
    return cbxAlpha->isChecked() ? ToQImage(picture_) : TransparencyPicture();
}

void TTextureView::ShowReadout(QPoint texel) {
    QLabel* readout = status_.ReadoutText;
    if (!shown_ || texel.x() < 0) {
        readout->clear();
        return;
    }
    const auto x = static_cast<std::uint32_t>(texel.x()), y = static_cast<std::uint32_t>(texel.y());
    if (x >= state_.TexWidth || y >= state_.TexHeight) {
        readout->clear();
        return;
    }
    const PaletteEntry e = state_.Colour(x, y);
    QString text = QString("%1, %2: ").arg(x).arg(y);
    if (!state_.TrueColour)
        text += QString("index %1, ").arg(state_.Pixel(x, y));
    readout->setText(text + QString("%1 %2 %3 %4").arg(e.R).arg(e.G).arg(e.B).arg(e.A));
}

void TTextureView::Redraw(bool keepView) {
    const bool transparency = Options && Options().Transparency && !cbxAlpha->isChecked();
    Image1->SetCheckerboard(transparency);
    QImage picture = transparency ? TransparencyPicture() : ToQImage(picture_);
    if (markedEntry_ >= 0 && !state_.TrueColour) {
        // The texels of the marked entry as they are, every other one faded to grey.
        picture = picture.convertToFormat(QImage::Format_ARGB32);
        for (std::uint32_t y = 0; y < state_.TexHeight; ++y) {
            auto* line = reinterpret_cast<QRgb*>(picture.scanLine(static_cast<int>(y)));
            for (std::uint32_t x = 0; x < state_.TexWidth; ++x)
                if (state_.Pixel(x, y) != markedEntry_) {
                    const QRgb c = line[x];
                    line[x] = qRgba((qRed(c) + 2 * 128) / 3, (qGreen(c) + 2 * 128) / 3, (qBlue(c) + 2 * 128) / 3, qAlpha(c));
                }
        }
    }
    // The same texture marked anew stays where the user moved it.
    const QPointF pan = Image1->Pan();
    Image1->SetPicture(picture, shownSize_);
    if (keepView)
        Image1->SetPan(pan);
}

void TTextureView::MarkEntry(int entry) {
    if (!shown_ || state_.TrueColour)
        return;
    markedEntry_ = entry;
    palView->SetMarked(entry);
    Redraw(true);
    if (entry >= 0) {
        std::size_t count = 0;
        for (std::uint8_t i : state_.Pixels)
            count += i == entry;
        status_.SetStatus(QString("Entry %1 is used by %2 texel(s).").arg(entry).arg(count));
    }
}

void TTextureView::ShowZoom() {
    if (Image1->Stretch()) {
        status_.ZoomText->setText("Stretched");
        return;
    }
    // Levels are drawn at level 0's size: a texel of level n is larger by that much.
    const double levelScale =
        level_ > 0 && shown_ && state_.TexWidth > 0 ? double(shownSize_.width()) / state_.TexWidth : 1;
    const double percent = Image1->Zoom() * levelScale * 100;
    const QString value = std::abs(percent - std::round(percent)) < 0.01 ? QString::number(std::lround(percent)) + "%"
                                                                         : QString::number(percent, 'f', 1) + "%";
    status_.ZoomText->setText(Image1->Mode() == TPictureBox::ZoomMode::Fit ? "Fit " + value : value);
}

void TTextureView::FillProperties() { FillProperties(shown_); }

void TTextureView::FillProperties(bool withPicture) {
    tvProperties->clear();
    if (!dictionary_ || entry_ < 0 || static_cast<std::size_t>(entry_) >= dictionary_->Entries().size())
        return;
    const TTexEntry& entry = dictionary_->Entries()[static_cast<std::size_t>(entry_)];
    for (const auto& [label, value] : DescribeTexture(dictionary_->Source(), entry, withPicture ? &state_ : nullptr)) {
        auto* item = new QTreeWidgetItem({Q(label), Q(value)});
        item->setToolTip(1, Q(value)); // long values are cut in a narrow panel
        tvProperties->addTopLevelItem(item);
    }
    tvProperties->resizeColumnToContents(0);
}
