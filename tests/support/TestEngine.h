#pragma once

// Helpers for tests that run the test engine (test_engine/main.cpp), "veltro.exe" beside the test programs.

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>

namespace testengine {

// The one QApplication of a test process, never destroyed (among the static destructors it may crash).
inline QApplication& Application()
{
    static int argc = 1;
    static char szName[] = "veltro_tests";
    static char* argv[] = {szName, nullptr};
    static QApplication* pApp = qApp ? qobject_cast<QApplication*>(qApp) : new QApplication(argc, argv);
    return *pApp;
}

// Sets an environment variable for the object's lifetime, then restores its former value or absence.
class ScopedEnv
{
public:
    ScopedEnv(const char* pszName, const QByteArray& value)
        : m_name(pszName), m_oldValue(qgetenv(pszName)), m_bHadValue(qEnvironmentVariableIsSet(pszName))
    {
        qputenv(pszName, value);
    }
    ~ScopedEnv() { m_bHadValue ? qputenv(m_name.constData(), m_oldValue) : qunsetenv(m_name.constData()); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    QByteArray m_name, m_oldValue;
    bool m_bHadValue;
};

// Makes the current directory another one for the object's lifetime.
class ScopedCurrentDir
{
public:
    explicit ScopedCurrentDir(const QString& strDir) : m_strOld(QDir::currentPath()) { QDir::setCurrent(strDir); }
    ~ScopedCurrentDir() { QDir::setCurrent(m_strOld); }
    ScopedCurrentDir(const ScopedCurrentDir&) = delete;
    ScopedCurrentDir& operator=(const ScopedCurrentDir&) = delete;

private:
    QString m_strOld;
};

// One engine run's record: a temporary directory announced to the test engine through VELTRO_TEST_RECORD, and its
// behaviour through VELTRO_TEST_MODE ("" normal, "nooutput", "fail", "exitN", "crash", "hang", "sleep", "chatty",
// "flood"; see test_engine/main.cpp). Both restored afterwards.
class Recorder
{
public:
    explicit Recorder(const QByteArray& mode = QByteArray())
        : m_record("VELTRO_TEST_RECORD", QFile::encodeName(m_dir.path())), m_mode("VELTRO_TEST_MODE", mode)
    {
    }

    QString Dir() const { return m_dir.path(); }
    // Whether the engine ran (args.txt exists), the words it received but the "-m" pair (the file of changed
    // pixels, ChangedMask()), its copy of the parameter file.
    bool WasRun() const { return QFileInfo::exists(m_dir.filePath(QStringLiteral("args.txt"))); }
    QStringList Args() const
    {
        QStringList words = AllArgs();
        const qsizetype i = words.indexOf(QStringLiteral("-m"));
        if (i >= 0)
            words.remove(i, std::min<qsizetype>(2, words.size() - i));
        return words;
    }
    QString ChangedMask() const
    {
        const QStringList words = AllArgs();
        const qsizetype i = words.indexOf(QStringLiteral("-m"));
        return i >= 0 ? words.value(i + 1) : QString();
    }
    QByteArray Params() const { return Read("params.txt"); }

private:
    QStringList AllArgs() const
    {
        QStringList words = QString::fromLocal8Bit(Read("args.txt")).split(QLatin1Char('\n'));
        words.removeLast();   // what follows the last line end, or nothing when the engine never ran
        return words;
    }
    QByteArray Read(const char* pszName) const
    {
        QFile file(m_dir.filePath(QLatin1String(pszName)));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir m_dir;
    ScopedEnv m_record, m_mode;
};

} // namespace testengine
