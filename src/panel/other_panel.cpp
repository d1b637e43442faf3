// Handlers of the "&Other Settings" tab: header and body fonts and colours
// through the Desktop's dialogs, and the date format composed from its lists.
#include <cmath>

#include "errors/hunt_err.h"
#include "panel/panel.h"
#include "varnelo/varnelo.h"

namespace varnelo {

using hunterr::guard;

namespace {

constexpr int kFontDialogFlags = cdl::kFontScreenFonts | cdl::kFontPrinterFonts | cdl::kFontForceExist;  // 65539
constexpr int kColorDialogFlags = cdl::kColorRgbInit | cdl::kColorFullOpen;                                // 3

// A font object keeps its size to four decimals; the dialog takes it as a
// single-precision number.
double fourDecimals(double size) { return std::round(size * 10000.0) / 10000.0; }

}  // namespace

// One column of the colour frame: its stored font and colours, the widgets
// that show them and the keys the host hears.
struct StyleColumn {
    FontPtr& font;
    OLE_COLOR& backColor;
    OLE_COLOR& foreColor;
    ui::Label& holder;
    ui::ControlArray<ui::Label>& cells;  // 0 font, 1 back colour swatch, 2 text colour swatch
    const char* fontKey;
    const char* backKey;
    const char* foreKey;
    bool swatchBeforeNotice;  // the body paints its swatch before telling the host
};

void Varnelo::cmdHeader_Click(int Index) {
    guard("Varnelo.cmdHeader_Click(Index)", [&] {
        Panel& p = *panel_;
        chooseStyle({s_.HeaderFont, s_.HeaderBackColor, s_.HeaderForeColor, p.Label8, p.lblHeader, "HeaderFont",
                     "HeaderBackColor", "HeaderForeColor", false},
                    Index);
    });
}

void Varnelo::cmdBody_Click(int Index) {
    guard("Varnelo.cmdBody_Click(Index)", [&] {
        Panel& p = *panel_;
        chooseStyle({s_.BodyFont, s_.BodyBackColor, s_.BodyForeColor, p.Label9, p.lblBody, "BodyFont",
                     "BodyBackColor", "BodyForeColor", true},
                    Index);
    });
}

// Index 0 chooses the font, 1 the back colour, 2 the text colour. A cancel
// keeps the value but still stores it and tells the host, as a choice would.
void Varnelo::chooseStyle(const StyleColumn& c, int index) {
    if (index == 0) {
        if (!c.font) c.font = std::make_shared<varnelo::Font>();
        varnelo::Font& font = *c.font;  // changed in place: a host's font set by reference follows
        varnelo::Font preset;
        preset.bold = font.bold;
        preset.italic = font.italic;
        preset.name = font.name;
        preset.size = static_cast<float>(fourDecimals(font.size));
        preset.strikethrough = font.strikethrough;
        preset.underline = font.underline;
        const varnelo::Font chosen = desktop_.fontDialog(preset, kFontDialogFlags).value_or(preset);
        font.bold = chosen.bold;
        font.italic = chosen.italic;
        font.name = chosen.name;
        font.size = fourDecimals(chosen.size);
        font.strikethrough = chosen.strikethrough;
        font.underline = chosen.underline;
        showFontOn(c.holder, c.cells(0), font);
        changed(c.fontKey);
        return;
    }
    ui::Label& swatch = c.cells(index);
    const OLE_COLOR preset = swatch.backColor();
    const OLE_COLOR chosen = desktop_.colorDialog(preset, kColorDialogFlags).value_or(preset);
    (index == 1 ? c.backColor : c.foreColor) = chosen;
    if (c.swatchBeforeNotice) swatch.setBackColor(chosen);
    changed(index == 1 ? c.backKey : c.foreKey);
    if (!c.swatchBeforeNotice) swatch.setBackColor(chosen);
}

void Varnelo::cmdOK1_Click() {
    guard("Varnelo.cmdOK1_Click", [&] {
        Panel& p = *panel_;
        const std::string day = p.cmbDate(1).text(), month = p.cmbDate(2).text(), year = p.cmbDate(3).text(),
                          sep = p.cmbDate(4).text();
        std::string date;
        switch (p.cmbDate(0).listIndex()) {
            case 0: date = day + sep + month + sep + year; break;   // day month year
            case 1: date = month + sep + day + sep + year; break;   // month day year
            case 2: date = year + sep + month + sep + day; break;   // year month day
            default: break;                                          // no order picked
        }
        std::string time;
        if (p.chkTime(0).value() == 1) time = p.optTime(1).value() ? " HH:mm:ss" : " hh:mm:ss AMPM";

        s_.DateTemp = date;
        changed("DateTemp");
        s_.TimeTemp = time;
        changed("TimeTemp");
        p.lblDateFormat.setCaption(date + time);  // its change handler stores and reports DateFormat
        s_.DateFormat = p.lblDateFormat.caption();
        changed("DateFormat");
    });
}

}  // namespace varnelo
