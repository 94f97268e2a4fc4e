#include "run/RunResult.h"

#include <cstdio>
#include <exception>
#include <string>

#include "sys/Reg.h"

void StoreRunResult(HKEY root, RunResult result) {
    SYSTEMTIME t;
    GetLocalTime(&t);
    wchar_t when[32];
    swprintf(when, 32, L"%04u%02u%02u-%02u%02u%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
    try {
        RegWriteString(root, kSettingsKey, L"Letzter Lauf", when);
        RegWriteString(root, kSettingsKey, L"Letztes Ergebnis", std::to_wstring(ExitCode(result)));
    } catch (const std::exception&) {
    }
}
