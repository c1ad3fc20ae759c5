#include "TestEngine.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace testengine {

QApplication& Application()
{
    // Never destroyed: a QApplication torn down among the static destructors may crash.
    static int argc = 1;
    static char szName[] = "veltro_tests";
    static char* argv[] = {szName, nullptr};
    static QApplication* pApp = qApp ? qobject_cast<QApplication*>(qApp) : new QApplication(argc, argv);
    return *pApp;
}

ScopedEnv::ScopedEnv(const char* pszName, const QByteArray& value)
    : m_name(pszName), m_oldValue(qgetenv(pszName)), m_bHadValue(qEnvironmentVariableIsSet(pszName))
{
    qputenv(pszName, value);
}

ScopedEnv::~ScopedEnv()
{
    if (m_bHadValue)
        qputenv(m_name.constData(), m_oldValue);
    else
        qunsetenv(m_name.constData());
}

ScopedCurrentDir::ScopedCurrentDir(const QString& strDir) : m_strOld(QDir::currentPath())
{
    QDir::setCurrent(strDir);
}

ScopedCurrentDir::~ScopedCurrentDir()
{
    QDir::setCurrent(m_strOld);
}

Recorder::Recorder(const QByteArray& mode)
    : m_record("VELTRO_TEST_RECORD", QFile::encodeName(m_dir.path())), m_mode("VELTRO_TEST_MODE", mode)
{
}

QByteArray Recorder::Read(const char* pszName) const
{
    QFile file(m_dir.filePath(QLatin1String(pszName)));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool Recorder::WasRun() const
{
    return QFileInfo::exists(m_dir.filePath(QStringLiteral("args.txt")));
}

QStringList Recorder::Args() const
{
    if (!WasRun())
        return {};
    QString strText = QString::fromLocal8Bit(Read("args.txt"));
    if (strText.endsWith(QLatin1Char('\n')))
        strText.chop(1);
    return strText.split(QLatin1Char('\n'));
}

QByteArray Recorder::Params() const
{
    return Read("params.txt");
}

} // namespace testengine
