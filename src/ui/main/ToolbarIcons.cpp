#include "ToolbarIcons.h"

#include <QPainter>
#include <array>

namespace tarnwick {

namespace {

// One picture as 16 rows of 16 palette letters.
struct Picture {
    const char* key;
    std::array<const char*, 16> rows;
};

// Letters of the pictures; all colours come from the 16-colour palette.
QColor paletteColour(char letter) {
    switch (letter) {
        case 'k':
            return {0, 0, 0};  // black
        case 'w':
            return {255, 255, 255};  // white
        case 'g':
            return {128, 128, 128};  // dark grey
        case 'y':
            return {255, 255, 0};  // yellow
        case 'o':
            return {128, 128, 0};  // olive
        case 'n':
            return {0, 0, 128};  // navy
        case 'G':
            return {0, 255, 0};  // green
        default:
            return kToolbarMaskColor;  // '.'
    }
}

// clang-format off
const std::array<Picture, 13> kPictures{{
    {"New", {
        "................",
        "...kkkkkkk......",
        "...kwwwwwkk.....",
        "...kwwwwwkwk....",
        "...kwwwwwkkkk...",
        "...kwwwwwwwwk...",
        "...kwwwwwwwwk...",
        "...kwwwwwwwwk...",
        "...kwwwwwwwwk...",
        "...kwwwwwwwwk...",
        "...kwwwwwwwwk...",
        "...kwwwwwwwwk...",
        "...kwwwwwwwwk...",
        "...kwwwwwwwwk...",
        "...kkkkkkkkkk...",
        "................"}},
    {"Open", {
        "................",
        "................",
        "..........kkk...",
        ".........k...k.k",
        "..............kk",
        ".kkk.........kkk",
        "kyoyk...........",
        "koyoykkkkkkk....",
        "kyoyoyoyoyok....",
        "koyoyokkkkkkkkkk",
        "kyoyokyyyyyyyyyk",
        "koyokyyyyyyyyyk.",
        "kyokyyyyyyyyyk..",
        "koykyyyyyyyyyk..",
        "kkkkkkkkkkkkk...",
        "................"}},
    {"Save", {
        "................",
        ".kkkkkkkkkkkkkk.",
        ".knnwwwwwwwwnnk.",
        ".knnwwwwwwwwnnk.",
        ".knnwkkkkkkwnnk.",
        ".knnwwwwwwwwnnk.",
        ".knnwkkkkkkwnnk.",
        ".knnwwwwwwwwnnk.",
        ".knnnnnnnnnnnnk.",
        ".knnnnnnnnnnnnk.",
        ".knngggggggggnk.",
        ".knnggnngggggnk.",
        ".knnggnngggggnk.",
        ".knnggnngggggnk.",
        "..kkkkkkkkkkkkk.",
        "................"}},
    {"Print", {
        "................",
        "....kkkkkkkk....",
        "....kwwwwwwk....",
        "....kwkkkkwk....",
        "....kwwwwwwk....",
        "....kwkkkwwk....",
        "..kkkkkkkkkkkk..",
        ".kwwwwwwwwwwwwk.",
        ".kwggggggggggwk.",
        ".kwggggggggGGwk.",
        ".kwggggggggggwk.",
        ".kkkkkkkkkkkkkk.",
        "..kwwwwwwwwwwk..",
        "..kwkkkkkkkkwk..",
        "..kkkkkkkkkkkk..",
        "................"}},
    {"Cut", {
        "................",
        "...k.......k....",
        "...k.......k....",
        "...kk.....kk....",
        "....k.....k.....",
        "....kk...kk.....",
        ".....k...k......",
        ".....kk.kk......",
        "......kkk.......",
        "......nkn.......",
        "...nnnn.nnnn....",
        "..n...n.n...n...",
        "..n...n.n...n...",
        "..n...n.n...n...",
        "...nnn...nnn....",
        "................"}},
    {"Copy", {
        "................",
        "kkkkkk..........",
        "kwwwwkk.........",
        "kwwwwkwk........",
        "kwkkwkkkk.......",
        "kwwwwwwwk.......",
        "kwkkkknnnnnn....",
        "kwwwwwnwwwwnn...",
        "kwkkkknwwwwnwn..",
        "kwwwwwnwkkwnnnn.",
        "kwkkkknwwwwwwwn.",
        "kwwwwwnwkkkkkwn.",
        "kkkkkknwwwwwwwn.",
        "......nwkkkkkwn.",
        "......nwwwwwwwn.",
        "......nnnnnnnnn."}},
    {"Paste", {
        "................",
        ".....kkkkk......",
        ".kkkkgwwwgkkkk..",
        ".koookkkkkoook..",
        ".kooooooooooook.",
        ".koooonnnnnnnk..",
        ".koooonwwwwwnn..",
        ".koooonwwwwwnwn.",
        ".koooonwkkkwnnnn",
        ".koooonwwwwwwwwn",
        ".koooonwkkkkkkwn",
        ".koooonwwwwwwwwn",
        ".koooonwkkkkkkwn",
        ".kkkkknwwwwwwwwn",
        "......nnnnnnnnnn",
        "................"}},
    {"Bold", {
        "................",
        "................",
        "...kkkkkkkk.....",
        "....kkk..kkk....",
        "....kkk..kkk....",
        "....kkk..kkk....",
        "....kkk.kkk.....",
        "....kkkkkk......",
        "....kkk..kkk....",
        "....kkk...kkk...",
        "....kkk...kkk...",
        "....kkk...kkk...",
        "....kkk..kkk....",
        "...kkkkkkkk.....",
        "................",
        "................"}},
    {"Italic", {
        "................",
        "................",
        "......kkkkkk....",
        "........kk......",
        "........kk......",
        ".......kk.......",
        ".......kk.......",
        ".......kk.......",
        "......kk........",
        "......kk........",
        "......kk........",
        ".....kk.........",
        ".....kk.........",
        "...kkkkkk.......",
        "................",
        "................"}},
    {"Underline", {
        "................",
        "................",
        "...kkkk..kkkk...",
        "....kk....kk....",
        "....kk....kk....",
        "....kk....kk....",
        "....kk....kk....",
        "....kk....kk....",
        "....kk....kk....",
        "....kk....kk....",
        ".....kk..kk.....",
        "......kkkk......",
        "................",
        "...kkkkkkkkkk...",
        "................",
        "................"}},
    {"Align Left", {
        "................",
        "................",
        "..kkkkkkkkkkkk..",
        "................",
        "..kkkkkkkk......",
        "................",
        "..kkkkkkkkkkkk..",
        "................",
        "..kkkkkkkk......",
        "................",
        "..kkkkkkkkkkkk..",
        "................",
        "..kkkkkkkk......",
        "................",
        "................",
        "................"}},
    {"Center", {
        "................",
        "................",
        "..kkkkkkkkkkkk..",
        "................",
        "....kkkkkkkk....",
        "................",
        "..kkkkkkkkkkkk..",
        "................",
        "....kkkkkkkk....",
        "................",
        "..kkkkkkkkkkkk..",
        "................",
        "....kkkkkkkk....",
        "................",
        "................",
        "................"}},
    {"Align Right", {
        "................",
        "................",
        "..kkkkkkkkkkkk..",
        "................",
        "......kkkkkkkk..",
        "................",
        "..kkkkkkkkkkkk..",
        "................",
        "......kkkkkkkk..",
        "................",
        "..kkkkkkkkkkkk..",
        "................",
        "......kkkkkkkk..",
        "................",
        "................",
        "................"}},
}};
// clang-format on

QImage render(const Picture& picture) {
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(kToolbarMaskColor);
    QPainter painter(&image);
    for (int y = 0; y < 16; ++y) {
        const char* row = picture.rows[static_cast<std::size_t>(y)];
        for (int x = 0; x < 16 && row[x] != '\0'; ++x) {
            if (row[x] != '.') {
                painter.setPen(paletteColour(row[x]));
                painter.drawPoint(x, y);
            }
        }
    }
    return image;
}

}  // namespace

ImageList buildToolbarIcons() {
    ImageList list(QSize(16, 16), kToolbarMaskColor);
    for (const Picture& picture : kPictures)
        list.add(QString::fromLatin1(picture.key), render(picture));
    return list;
}

}  // namespace tarnwick
