#include "app/CAboutDlg.h"

#include "VeltroVersion.h"
#include "res/ArtPaths.h"
#include "res/ResourceIds.h"

#include <QGridLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

CAboutDlg::CAboutDlg(QWidget* pParent)
    : QDialog(pParent), m_strRelease(QStringLiteral(VELTRO_VERSION))
{
    setObjectName(QString::number(ids::IDD_ABOUTBOX));
    setWindowTitle(QStringLiteral("About VeltroInterface"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    auto* pLogo = new QLabel(this);
    pLogo->setObjectName(QString::number(ids::IDB_LOGO));
    pLogo->setPixmap(QPixmap(QString::fromLatin1(art::kLogo)));
    pLogo->setFixedSize(40, 36);

    auto* pName = new QLabel(QStringLiteral("VELTROINTERFACE"), this);
    auto* pReleaseCaption = new QLabel(QStringLiteral("Release:"), this);
    auto* pRelease = new QLabel(m_strRelease, this);
    pRelease->setObjectName(QString::number(ids::IDC_RELEASE));
    auto* pPurpose = new QLabel(QStringLiteral("Restoration of digitised photographs and old documents"), this);

    auto* pOk = new QPushButton(QStringLiteral("OK"), this);
    pOk->setObjectName(QString::number(ids::IDOK));
    pOk->setDefault(true);
    connect(pOk, &QPushButton::clicked, this, &QDialog::accept);

    auto* pLayout = new QGridLayout(this);
    pLayout->setContentsMargins(18, 16, 18, 16);
    pLayout->setHorizontalSpacing(16);
    pLayout->addWidget(pLogo, 0, 0, 2, 1, Qt::AlignTop);
    pLayout->addWidget(pName, 0, 1);
    pLayout->addWidget(pReleaseCaption, 0, 2);
    pLayout->addWidget(pRelease, 0, 3);
    pLayout->addWidget(pOk, 0, 4);
    pLayout->addWidget(pPurpose, 1, 1, 1, 3);
    pLayout->setColumnStretch(3, 1);
    setFixedSize(sizeHint().expandedTo(QSize(515, 0)));
}
