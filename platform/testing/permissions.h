// Test support: file permissions that bind the test process, also when it runs as root.
#pragma once

namespace testsupport {

/// While it lives, the calling thread's file accesses obey the permission bits as an ordinary
/// user's do: a process of root (as CI runs the tests) drops the capabilities that let it
/// write into read-only directories and read unreadable files. Nothing changes for a process
/// that lacks them already.
class ScopedOrdinaryPermissions {
public:
    ScopedOrdinaryPermissions();
    ~ScopedOrdinaryPermissions();
    ScopedOrdinaryPermissions(const ScopedOrdinaryPermissions&) = delete;
    ScopedOrdinaryPermissions& operator=(const ScopedOrdinaryPermissions&) = delete;

    /// True when the permission bits now bind: the capabilities are gone (or were never there).
    bool binding() const { return m_binding; }

private:
    bool m_binding = false;
    bool m_dropped = false;
    unsigned m_savedEffective[2] = {0, 0};
};

} // namespace testsupport
