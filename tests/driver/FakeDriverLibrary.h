// Test support: binding g_driver to one of the scriptable fake driver
// libraries, scripting it through its environment variables, and reading
// back the log of the calls it received.
#ifndef REMOTEMONITOR_TESTS_FAKEDRIVERLIBRARY_H
#define REMOTEMONITOR_TESTS_FAKEDRIVERLIBRARY_H

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "RemoteDriver.h"

#ifndef RM_FAKES_FROM_TESTS
#error "RM_FAKES_FROM_TESTS: the fakes' directory, relative to the test program's"
#endif

namespace rmtest {

inline std::string ExecutableDir()
{
    char szPath[4096] = {};
    const DWORD n = ::GetModuleFileNameA(nullptr, szPath, sizeof szPath);
    std::string path(szPath, n);
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// The directory of one fake: "full", "noex", "no_GetCardCount", ...; any
// other name gives a directory without a library.
inline std::string FakeDir(const std::string& variant)
{
    return ExecutableDir() + "/" RM_FAKES_FROM_TESTS "/" + variant;
}

inline void SetEnv(const char* pszName, const std::string& value)
{
#ifdef _WIN32
    _putenv_s(pszName, value.c_str());
#else
    setenv(pszName, value.c_str(), 1);
#endif
}

inline void UnsetEnv(const char* pszName)
{
#ifdef _WIN32
    _putenv_s(pszName, "");
#else
    unsetenv(pszName);
#endif
}

// A script of answers: codes in decimal for TAVRIXRC_FAKE_CODES, extended
// codes in hexadecimal for TAVRIXRC_FAKE_CODES_EX.
inline std::string JoinAnswers(const std::vector<int>& values)
{
    std::string text;
    for (int v : values)
        text += (text.empty() ? "" : ",") + std::to_string(v);
    return text;
}

inline std::string JoinAnswers(const std::vector<DWORD>& values)
{
    std::string text;
    char sz[16];
    for (DWORD v : values)
    {
        std::snprintf(sz, sizeof sz, "%s%X", text.empty() ? "" : ",", static_cast<unsigned int>(v));
        text += sz;
    }
    return text;
}

// Rebinds the process-wide driver to a fake, as the tool's start-up would
// bind it to the real library.
inline void BindDriver(const std::string& variant)
{
    g_driver.Release();
    ::SetDllDirectoryA(FakeDir(variant).c_str());
    g_driver.Load();
}

// A fresh call log per test, scripted defaults otherwise: one card that
// opens and no key pressed.
class FakeDriverTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const ::testing::TestInfo* pInfo = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(pInfo->test_suite_name()) + "." + pInfo->name();
        for (char& c : name)
            if (c == '/')
                c = '_';
        m_logPath = ExecutableDir() + "/" + name + ".calls.log";
        std::remove(m_logPath.c_str());
        for (const char* pszName : {"TAVRIXRC_FAKE_CARDS", "TAVRIXRC_FAKE_OPEN", "TAVRIXRC_FAKE_CODES",
                                    "TAVRIXRC_FAKE_CODES_EX", "TAVRIXRC_FAKE_STUCK"})
            UnsetEnv(pszName);
        SetEnv("TAVRIXRC_FAKE_LOG", m_logPath);
    }

    void TearDown() override
    {
        g_driver.Release();
        ::SetDllDirectoryA(nullptr);
        if (!HasFailure())
            std::remove(m_logPath.c_str());
    }

    std::vector<std::string> Calls() const
    {
        std::vector<std::string> lines;
        std::ifstream in(m_logPath);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    // How many logged calls start with the entry's name.
    size_t CountCalls(const std::string& entry) const
    {
        size_t n = 0;
        for (const std::string& line : Calls())
            if (line.compare(0, entry.size(), entry) == 0 &&
                (line.size() == entry.size() || line[entry.size()] == ' ' || line[entry.size()] == '('))
                ++n;
        return n;
    }

    void ClearCalls() const { std::remove(m_logPath.c_str()); }

    std::string m_logPath;
};

}  // namespace rmtest

#endif
