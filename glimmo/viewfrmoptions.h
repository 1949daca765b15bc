#pragma once
// The options dialog, created once by the main window. So far it holds the picture-type
// check boxes whose state the main window restores and saves; the dialog's pages and
// handlers (display switches, slide show, background colour, file associations) are built
// on top of these.

#include <QCheckBox>
#include <QDialog>

namespace glimmo {

class TImageViewerOptions : public QDialog {
    Q_OBJECT
public:
    explicit TImageViewerOptions(QWidget *owner);

    QCheckBox *CheckBox7;  // "JPG - Jpeg"
    QCheckBox *CheckBox8;  // "BMP - Windows Bitmap"
    QCheckBox *CheckBox9;  // "GIF - CompuServe GIF"
    QCheckBox *CheckBox11; // "WMF - Metafile"
    QCheckBox *CheckBox12; // "EMF - Metafile"
};

} // namespace glimmo
