// A look at the image buffer: a strip of its 32 KiB blocks, blank ones and
// those holding data in two colours, above a hex view of the whole buffer.
// Clicking a block moves the hex view to its first line. The view keeps a
// copy of the buffer it was shown, so a later Load or Read may free the
// window's own at any time.
#pragma once

#include <QDialog>

#include <cstdint>
#include <vector>

class BlockStrip;
class HexModel;
class QLabel;
class QListView;

class ImageView final : public QDialog {
    Q_OBJECT

public:
    explicit ImageView(QWidget* parent = nullptr);
    ~ImageView() override;

    void showImage(const std::uint8_t* data, std::uint32_t size);
    // The block the hex view shows at its top.
    int blockAtTop() const;
    BlockStrip* strip() const { return strip_; }
    QListView* hexView() const { return hex_; }

private:
    void goToBlock(int block);

    std::vector<std::uint8_t> image_;
    BlockStrip* strip_;
    HexModel* model_;
    QListView* hex_;
    QLabel* summary_;
};

// The strip of blocks, as many to a row as fit.
class BlockStrip final : public QWidget {
    Q_OBJECT

public:
    explicit BlockStrip(QWidget* parent = nullptr);
    void setBlocks(std::vector<bool> blank);
    int blockCount() const { return static_cast<int>(blank_.size()); }
    // The block's cell on the widget, for a click.
    QRect cellOf(int block) const;

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;

signals:
    void blockClicked(int block);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    int cellSide() const;
    int perRow(int width) const;

    std::vector<bool> blank_;
};
