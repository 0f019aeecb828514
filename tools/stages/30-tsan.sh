#!/usr/bin/env bash
# The threads under ThreadSanitizer:
# - the device and emulated bus tests, among them the commands that the bus
#   completes on a thread of its own while AspiDevice polls the request block
#   (the tests named OtherThread...): the status byte, the sense bytes, the
#   data and the completion flag must pass between the threads without a
#   data race;
# - the flow: the session's download step, whose reprogramming window runs on
#   a worker thread while the caller is told of its progress (tests/session),
#   and the program itself, built with the sanitizer, run as a user runs it
#   against the emulated drives (tests/program). A race there ends the
#   program with the sanitizer's report and its exit status, which fails the
#   test that ran it.
# About 4 min on two quiet cores, its build included; the program's tests
# take 2 of them, run one after another.
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --preset tsan >/dev/null
cmake --build --preset tsan --target aspi_tests emulator_tests session_test cli_program_test
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
# Every test of these programs; the thread tests once more, repeated, since a
# race shows only when the threads actually meet.
build-tsan/tests/aspi/aspi_tests --gtest_brief=1
build-tsan/tests/emulated/emulator_tests --gtest_brief=1
build-tsan/tests/session/session_test --gtest_brief=1
build-tsan/tests/program/cli_program_test --gtest_brief=1
build-tsan/tests/aspi/aspi_tests --gtest_filter='*OtherThread*:*Posted*' --gtest_repeat=20 --gtest_brief=1
build-tsan/tests/emulated/emulator_tests --gtest_filter='*OtherThread*:*Slow*' --gtest_repeat=20 --gtest_brief=1
