#include "glimmo/viewfrmoptions.h"

#include <QVBoxLayout>

namespace glimmo {
namespace {

QCheckBox *checkBox(QWidget *parent, QLayout *layout, const char *name, const char *caption)
{
    auto *box = new QCheckBox(QString::fromLatin1(caption), parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setChecked(true);
    layout->addWidget(box);
    return box;
}

} // namespace

TImageViewerOptions::TImageViewerOptions(QWidget *owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("ImageViewerOptions"));
    setWindowTitle(QStringLiteral("ImageViewer - Options"));
    resize(502, 220);
    auto *layout = new QVBoxLayout(this);
    CheckBox7 = checkBox(this, layout, "CheckBox7", "JPG - Jpeg");
    CheckBox8 = checkBox(this, layout, "CheckBox8", "BMP - Windows Bitmap");
    CheckBox9 = checkBox(this, layout, "CheckBox9", "GIF - CompuServe GIF");
    CheckBox11 = checkBox(this, layout, "CheckBox11", "WMF - Metafile");
    CheckBox12 = checkBox(this, layout, "CheckBox12", "EMF - Metafile");
}

} // namespace glimmo
