// SPDX-License-Identifier: GPL-3.0-or-later
// One fixture shared by a binary's cases, made on first use and deleted while
// the QApplication still exists.
#pragma once

#include <QCoreApplication>

namespace tavi::test {

// A window kept in a plain static would be torn down after the application,
// against a platform that no longer exists, and crash the run at its exit.
template <class T>
T& SharedFixture() {
    static T* shared = nullptr;
    if (!shared) {
        shared = new T;
        qAddPostRoutine([] {
            delete shared;
            shared = nullptr;
        });
    }
    return *shared;
}

} // namespace tavi::test
