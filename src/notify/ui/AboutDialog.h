#pragma once

#include <QDialog>

class LocGuru;
class ShellOpener;

// The About window (frmAbout): the program's name, its version and a link to
// the vendor's web site.
class AboutDialog : public QDialog
{
    Q_OBJECT
public:
    AboutDialog(LocGuru& loc, ShellOpener& shell, QWidget* parent = nullptr);
};
