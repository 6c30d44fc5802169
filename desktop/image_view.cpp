#include "desktop/image_view.h"

#include <QAbstractListModel>
#include <QFontDatabase>
#include <QLabel>
#include <QListView>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

#include "desktop/fill_in.h"
#include "desktop/image_layout.h"
#include "texts/texts.h"

namespace {
const QColor kBlankColour(0xE0, 0xE4, 0xE8);
const QColor kDataColour(0x1F, 0x6F, 0xC8);
}  // namespace

// The hex dump, one row per line of 16 bytes, each formatted when shown.
class HexModel final : public QAbstractListModel {
public:
    explicit HexModel(const std::vector<std::uint8_t>& image, QObject* parent)
        : QAbstractListModel(parent), image_(image) {}

    void reload() {
        beginResetModel();
        endResetModel();
    }
    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(hexLineCount(image_.size()));
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole || !index.isValid()) return {};
        const std::size_t offset = static_cast<std::size_t>(index.row()) * kHexLineBytes;
        return QString::fromStdString(hexLine(image_.data(), image_.size(), offset));
    }

private:
    const std::vector<std::uint8_t>& image_;
};

BlockStrip::BlockStrip(QWidget* parent) : QWidget(parent) {
    setObjectName("blockStrip");
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void BlockStrip::setBlocks(std::vector<bool> blank) {
    blank_ = std::move(blank);
    updateGeometry();
    update();
}

int BlockStrip::cellSide() const { return qMax(8, fontMetrics().height() * 3 / 4); }

int BlockStrip::perRow(int width) const { return qMax(1, width / cellSide()); }

int BlockStrip::heightForWidth(int width) const {
    const int rows = (blockCount() + perRow(width) - 1) / perRow(width);
    return qMax(1, rows) * cellSide();
}

QSize BlockStrip::sizeHint() const { return QSize(64 * cellSide(), heightForWidth(64 * cellSide())); }

QRect BlockStrip::cellOf(int block) const {
    const int side = cellSide();
    const int n = perRow(width());
    return QRect((block % n) * side, (block / n) * side, side, side);
}

void BlockStrip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    for (int i = 0; i < blockCount(); ++i) {
        const QRect cell = cellOf(i).adjusted(0, 0, -1, -1);
        painter.fillRect(cell, blank_[static_cast<std::size_t>(i)] ? kBlankColour : kDataColour);
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawRect(cell);
    }
}

void BlockStrip::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    const int side = cellSide();
    const int column = at.x() / side;
    const int block = (at.y() / side) * perRow(width()) + column;
    if (column < perRow(width()) && block >= 0 && block < blockCount()) emit blockClicked(block);
}

ImageView::ImageView(QWidget* parent) : QDialog(parent) {
    setObjectName("imageView");
    setWindowTitle(fillIn(txt().imageViewTitle));
    auto* column = new QVBoxLayout(this);
    summary_ = new QLabel(this);
    summary_->setObjectName("imageSummary");
    column->addWidget(summary_);
    strip_ = new BlockStrip(this);
    column->addWidget(strip_);
    model_ = new HexModel(image_, this);
    hex_ = new QListView(this);
    hex_->setObjectName("hexView");
    hex_->setModel(model_);
    hex_->setUniformItemSizes(true);
    hex_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    hex_->setMinimumWidth(hex_->fontMetrics().horizontalAdvance(QString(76, 'M')));
    column->addWidget(hex_, 1);
    connect(strip_, &BlockStrip::blockClicked, this, [this](int block) { goToBlock(block); });
    resize(sizeHint().width(), fontMetrics().height() * 36);
}

ImageView::~ImageView() = default;

void ImageView::showImage(const std::uint8_t* data, std::uint32_t size) {
    image_.assign(data, data + size);
    model_->reload();
    const std::vector<bool> blank = blankBlocks(image_.data(), image_.size());
    const auto used = std::count(blank.begin(), blank.end(), false);
    summary_->setText(fillIn(txt().imageViewSummary,
                             {QString::number(size), QString::number(blank.size()), QString::number(used),
                              QString::number(static_cast<long long>(blank.size()) - used)}));
    strip_->setBlocks(blank);
    hex_->scrollToTop();
}

void ImageView::goToBlock(int block) {
    const int row = static_cast<int>(static_cast<std::size_t>(block) * kImageBlockBytes / kHexLineBytes);
    const QModelIndex index = model_->index(row);
    hex_->scrollTo(index, QAbstractItemView::PositionAtTop);
    hex_->setCurrentIndex(index);
}

int ImageView::blockAtTop() const {
    const QModelIndex top = hex_->indexAt(QPoint(1, 1));
    if (!top.isValid()) return 0;
    return static_cast<int>(static_cast<std::size_t>(top.row()) * kHexLineBytes / kImageBlockBytes);
}
