#!/usr/bin/env bash
# The device and emulated bus tests under ThreadSanitizer. Among them are the
# commands that the bus completes on a thread of its own while AspiDevice
# polls the request block (the tests named OtherThread...): the status byte,
# the sense bytes, the data and the completion flag must pass between the
# threads without a data race.
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --preset tsan >/dev/null
cmake --build --preset tsan --target aspi_tests emulator_tests
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
# Every test of both programs; the thread tests once more, repeated, since a
# race shows only when the threads actually meet.
build-tsan/tests/aspi/aspi_tests --gtest_brief=1
build-tsan/tests/emulated/emulator_tests --gtest_brief=1
build-tsan/tests/aspi/aspi_tests --gtest_filter='*OtherThread*:*Posted*' --gtest_repeat=20 --gtest_brief=1
build-tsan/tests/emulated/emulator_tests --gtest_filter='*OtherThread*:*Slow*' --gtest_repeat=20 --gtest_brief=1
