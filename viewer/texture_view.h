#pragma once
// The texture on screen: the picture, its palette, the alpha check box, the
// properties, and the decode state they are made from. Large textures are
// decoded on a worker thread so that the window stays responsive; a decode the
// user has moved on from is dropped when it comes back.
#include <QImage>
#include <QObject>
#include <QSize>
#include <QThreadPool>
#include <cstdint>
#include <functional>
#include <memory>

#include "dictionary/decode_state.h"
#include "dictionary/dictionary.h"
#include "dictionary/picture.h"

class QCheckBox;
class QFrame;
class QTreeWidget;
class TPaletteView;
class TPictureBox;
class TStatusPanel;
class TUiServices;

// What the menu says about how a texture is shown.
struct TViewOptions {
    bool Unswizzle = true;
    bool Brighten = true;
    bool ShowPalette = true;
    bool Transparency = false;
    bool Properties = false; // the properties panel is shown, so it is filled
};

class TTextureView : public QObject {
public:
    // Textures of at least this many texels are decoded on a worker thread.
    static constexpr std::uint64_t kDecodeAheadTexels = std::uint64_t{1} << 20;

    // The palette and the check box go into listSide, the picture into pictureSide.
    TTextureView(QWidget* listSide, QWidget* pictureSide, TStatusPanel& status, TUiServices& ui,
                 std::function<std::uint32_t()> ticks);
    ~TTextureView() override;

    std::function<TViewOptions()> Options;
    // Runs a command the palette's cells give (a click marks an entry) as the menu does.
    std::function<void(const std::function<void()>&)> Run;

    // Shows level `level` of texture `entry` of the dictionary.
    void Show(std::shared_ptr<const kelmora::Dictionary> dictionary, int entry, int level);
    // Nothing shown: picture, palette, properties, status, readout and level go.
    void Clear();
    // Whether the last display ended with a picture.
    bool Shown() const { return shown_; }
    // Whether a decode is on its way from the worker.
    bool Decoding() const { return pending_ != 0; }
    int Level() const { return level_; }
    std::size_t LevelCount() const { return levelCount_; }
    int Entry() const { return entry_; }

    // What the last decode left; the single export writes TGA from it.
    const kelmora::DecodeState& State() const { return state_; }
    kelmora::DecodeState& State() { return state_; }
    // The picture as the display built it.
    const kelmora::Picture& Picture() const { return picture_; }
    // The colours with each texel's alpha, to be drawn over the checkerboard.
    QImage TransparencyPicture() const;
    // The picture as shown, with each texel's alpha unless the grey alpha view is.
    QImage ClipboardPicture() const;

    // Draws the picture anew (transparency, marked entry); keepView keeps the pan.
    void Redraw(bool keepView);
    // The texture shown drawn again with the options as they are now (alpha view,
    // brightening, transparency, palette) from its decode: nothing is decoded.
    void Repaint();
    // Decodes run so far (a texture shown again from the cache runs none).
    std::size_t Decodes() const { return decodes_; }
    // Marks the texels of one palette entry in the picture (-1: none).
    void MarkEntry(int entry);
    void ShowZoom();
    void FillProperties();

    QFrame* Panel2;         // the palette
    QFrame* Panel3;         // the alpha check box
    TPictureBox* ImgPal;    // the strip as designed, 256 x 10; kept, not shown
    TPaletteView* palView;  // the palette in cells large enough to see
    QCheckBox* cbxAlpha;
    TPictureBox* Image1;
    QTreeWidget* tvProperties;

private:
    struct Decoded;
    void Finish(Decoded&& decoded);
    // Draws state_ as the options say: the palette strip, the picture.
    void Present();

    // The last few decodes, so that going back to a texture costs no decode.
    struct CachedDecode {
        std::weak_ptr<const kelmora::Dictionary> Dictionary;
        int Entry = -1, Level = 0;
        bool Unswizzle = true;
        kelmora::DecodedTexture Texture;
    };
    static constexpr std::size_t kCachedDecodes = 4;
    static constexpr std::size_t kCachedBytes = std::size_t{64} << 20;
    const kelmora::DecodedTexture* Cached(int entry, int level, bool unswizzle) const;
    void Keep(int entry, int level, bool unswizzle, const kelmora::DecodedTexture& texture);
    std::vector<CachedDecode> cache_; // newest last
    std::size_t decodes_ = 0;
    void FillProperties(bool withPicture);
    void ShowReadout(QPoint texel);

    TStatusPanel& status_;
    TUiServices& ui_;
    std::function<std::uint32_t()> ticks_;
    kelmora::DecodeState state_;
    kelmora::Picture picture_;
    std::shared_ptr<const kelmora::Dictionary> dictionary_;
    int entry_ = -1;
    bool shown_ = false;
    int level_ = 0;
    std::size_t levelCount_ = 1;
    int markedEntry_ = -1;
    QSize shownSize_; // level 0's size, at which every level is shown
    std::uint64_t request_ = 0; // counts the displays asked for
    std::uint64_t pending_ = 0; // the display the worker decodes for; 0 for none
    std::shared_ptr<int> alive_ = std::make_shared<int>(0); // what the worker's answer checks first
    QThreadPool pool_; // last: its end waits for the decodes under way
};
