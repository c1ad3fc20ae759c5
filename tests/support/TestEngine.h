#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class QApplication;

// Helpers for tests that run the test engine (tests/support/test_engine),
// which lies as "veltro.exe" beside the test programs.
namespace testengine {

// The one QApplication of a test process, made on first use and kept until
// the process ends.
QApplication& Application();

// The directory of the test programs and of the test engine.
QString TestBinDir();

// Sets an environment variable for the lifetime of the object and restores
// its former value (or its absence) afterwards.
class ScopedEnv
{
public:
    ScopedEnv(const char* pszName, const QByteArray& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    QByteArray m_name;
    QByteArray m_oldValue;
    bool m_bHadValue;
};

// Makes the current directory another one for the lifetime of the object.
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
// engine through VELTRO_TEST_RECORD, and the engine's behaviour through
// VELTRO_TEST_MODE ("" normal, "nooutput", "fail", "crash", "sleep",
// "chatty", "flood"). Both variables are restored when the object goes.
class Recorder
{
public:
    explicit Recorder(const QByteArray& mode = QByteArray());

    QString Dir() const { return m_dir.path(); }
    bool WasRun() const;           // args.txt exists
    QStringList Args() const;      // the words the engine received
    QByteArray Params() const;     // its copy of the parameter file

private:
    QTemporaryDir m_dir;
    ScopedEnv m_record;
    ScopedEnv m_mode;
};

} // namespace testengine
