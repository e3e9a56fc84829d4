#include "ui/PanelLayout.h"

#include "config/OptionsFile.h"

namespace courivane {

namespace {

// Lefts by element; the Web lamp keeps its place in the columns without it, hidden.
constexpr std::array<int, kElementCount> kPicturesWeb{0,    360,  720,  1085, 1445,
                                                      1805, 2165, 2525, 2885, 3245};
constexpr std::array<int, kElementCount> kPicturesNoWeb{0,    360,  720,  725,  1085,
                                                        1445, 1805, 2165, 2525, 2885};
constexpr std::array<int, kElementCount> kLabelsWeb{0,    240,  960,  1700, 2420,
                                                    3140, 3860, 4580, 5300, 6020};
constexpr std::array<int, kElementCount> kLabelsNoWeb{0,    240,  960,  980,  1700,
                                                      2420, 3140, 3860, 4580, 5300};

constexpr int kGraphicWeb = 3630;
constexpr int kGraphicNoWeb = 3270;
constexpr int kTextWeb = 6270;
constexpr int kTextNoWeb = 5550;

void showAll(std::array<bool, kElementCount>& visible, bool on) {
    visible.fill(on);
}

} // namespace

int PanelLayout::pictureLeft(int element) const {
    return (webColumns ? kPicturesWeb : kPicturesNoWeb).at(element);
}

int PanelLayout::labelLeft(int element) const {
    return (webColumns ? kLabelsWeb : kLabelsNoWeb).at(element);
}

void applyStartupLayout(PanelLayout& l, LineSays graphic, LineSays split) {
    const bool graphicOn = graphic == LineSays::Yes;
    // Display step: only exactly "NO" gives the text display; the widths test for "YES".
    if (graphic == LineSays::No) {
        l.width = split == LineSays::Yes ? kTextWeb : kTextNoWeb;
        showAll(l.pictureVisible, false);
        showAll(l.labelVisible, true);
    } else {
        l.width = split == LineSays::Yes ? kGraphicWeb : kGraphicNoWeb;
        showAll(l.pictureVisible, true);
        showAll(l.labelVisible, false);
    }
    // Split step: only exactly "NO" takes the Web lamp away.
    if (split == LineSays::No) {
        l.pictureVisible[WebElement] = false;
        l.labelVisible[WebElement] = false;
        l.webColumns = false;
        l.width = graphicOn ? kGraphicNoWeb : kTextNoWeb;
        return;
    }
    l.webColumns = true;
    if (graphicOn) {
        l.width = kGraphicWeb;
        l.pictureVisible[WebElement] = true;
    } else {
        l.width = kTextWeb;
        l.labelVisible[WebElement] = true;
        l.pictureVisible[WebElement] = false;
    }
}

void applySplit(PanelLayout& l, bool graphic, bool web) {
    if (!web) {
        l.pictureVisible[WebElement] = false;
        l.labelVisible[WebElement] = false;
        l.webColumns = false;
        l.width = graphic ? kGraphicNoWeb : kTextNoWeb;
        return;
    }
    l.width = graphic ? kGraphicWeb : kTextWeb;
    l.webColumns = true;
    if (graphic)
        l.pictureVisible[WebElement] = true;
    else
        l.labelVisible[WebElement] = true;
}

void applyDisplayMode(PanelLayout& l, bool graphic, bool web) {
    if (!graphic) {
        l.width = web ? kTextWeb : kTextNoWeb;
        showAll(l.pictureVisible, false);
        showAll(l.labelVisible, true);
        l.labelVisible[WebElement] = web;
    } else {
        l.width = web ? kGraphicWeb : kGraphicNoWeb;
        showAll(l.pictureVisible, true);
        l.pictureVisible[WebElement] = web;
        showAll(l.labelVisible, false);
    }
}

int centredLeft(int screenWidth, int panelWidth) {
    return (screenWidth - panelWidth) / 2;
}

} // namespace courivane
