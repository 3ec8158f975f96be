// File > Remove Security...: the securities of a directory listed (symbol, name, records, dates)
// for the user to pick the one to take out.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ui/SecurityList.h"

class RemoveSecurityDialog {
public:
    RemoveSecurityDialog(std::string directory, int codePage)
        : directory_(std::move(directory)), codePage_(codePage) {}

    // Runs the dialog; true when OK took a security, whose symbol and directory then follow.
    bool Run(HINSTANCE instance, HWND parent);
    const std::string& directory() const { return directory_; }
    const std::string& symbol() const { return symbol_; }

private:
    static INT_PTR CALLBACK Procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void Fill();
    void UpdateOk();
    int Picked() const;

    HWND dialog_ = nullptr;
    HWND list_ = nullptr;
    std::string directory_;
    int codePage_;
    std::string symbol_;
    std::vector<ui::ListedSecurity> securities_;
};
