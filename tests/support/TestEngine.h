#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class QApplication;

// Helpers for tests that run the test engine (tests/support/test_engine),
// which lies as "veltro.exe" beside the test programs.
namespace testengine {

// The one QApplication of a test process, made on first use and never destroyed.
QApplication& Application();

// Sets an environment variable for the object's lifetime, then restores its former value or absence.
class ScopedEnv
{
public:
    ScopedEnv(const char* pszName, const QByteArray& value);
    ~ScopedEnv();
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
    explicit ScopedCurrentDir(const QString& strDir);
    ~ScopedCurrentDir();
    ScopedCurrentDir(const ScopedCurrentDir&) = delete;
    ScopedCurrentDir& operator=(const ScopedCurrentDir&) = delete;

private:
    QString m_strOld;
};

// One engine run's record: a temporary directory announced to the test
// engine through VELTRO_TEST_RECORD, and its behaviour through
// VELTRO_TEST_MODE ("" normal, "nooutput", "fail", "crash", "sleep",
// "chatty", "flood"; see test_engine/main.cpp). Both restored afterwards.
class Recorder
{
public:
    explicit Recorder(const QByteArray& mode = QByteArray());

    QString Dir() const { return m_dir.path(); }
    bool WasRun() const;           // args.txt exists
    QStringList Args() const;      // the words the engine received
    QByteArray Params() const;     // its copy of the parameter file

private:
    QByteArray Read(const char* pszName) const;

    QTemporaryDir m_dir;
    ScopedEnv m_record, m_mode;
};

} // namespace testengine
