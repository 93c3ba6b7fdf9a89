// A song loaded from a file's bytes, started at 44100 Hz and stepped tick by tick by the test.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <span>
#include <string_view>

#include "engine/Engine.h"
#include "engine/Stepper.h"
#include "formats/Loader.h"

namespace tarvex::test {

struct PlayedSong {
    Engine engine;
    Stepper stepper{engine};
    PlayedSong(std::span<const uint8_t> bytes, std::string_view extension) {
        engine.module = std::make_unique<Module>();
        EXPECT_TRUE(loadModuleBytes(bytes, extension, *engine.module).loaded) << extension;
        stepper.start(44100);
    }
};

}  // namespace tarvex::test
