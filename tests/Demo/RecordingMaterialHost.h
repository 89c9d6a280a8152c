// A Recording graphics device serving the materials of the demo's data tests: open it before
// the effect manager is made, close it after the manager and its materials are gone.

#pragma once

#include <gtest/gtest.h>

#include "Render/PMaterial.h"
#include "support/TestDevices.h"

namespace demotest {

class RecordingMaterialHost : public IPMaterialHost {
public:
    IDirect3DDevice9* device = nullptr;
    IDirect3DDevice9* GetMaterialDevice() override { return device; }
    void QueueMaterial(CPMaterial*) override {}

    // Fails the test (fatally) when the device cannot be made; the host is installed only then.
    void Open() {
        m_d3d = kxtest::RecordingDirect3D();
        ASSERT_NE(m_d3d, nullptr);
        kxtest::CreateTestDevice(m_d3d, kxtest::WindowedBackBuffer(64, 48, D3DFMT_A8R8G8B8, D3DFMT_D24S8), &device);
        if (::testing::Test::HasFatalFailure()) return;
        SetMaterialHost(this);
    }
    void Close() {
        SetMaterialHost(nullptr);
        if (device) device->Release();
        if (m_d3d) m_d3d->Release();
        device = nullptr;
        m_d3d = nullptr;
    }

private:
    IDirect3D9* m_d3d = nullptr;
};

} // namespace demotest
