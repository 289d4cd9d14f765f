# Entry points for people: `make run`, `make test`, `make bench`.
BUILD ?= build
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: all configure run test sanitize tsan bench clean

all: configure
	cmake --build $(BUILD) -j$(JOBS)

configure:
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) > /dev/null

run: configure
	cmake --build $(BUILD) -j$(JOBS) --target Tessary Vantrel
	$(BUILD)/bin/Tessary

test: all
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

# The whole suite once more with AddressSanitizer and UndefinedBehaviorSanitizer.
# Huge allocations must fail as they do in a release build, not abort.
sanitize: export ASAN_OPTIONS = allocator_may_return_null=1:detect_leaks=1
sanitize: export UBSAN_OPTIONS = print_stacktrace=1:halt_on_error=1
sanitize:
	$(MAKE) test BUILD=build-sanitize CMAKE_FLAGS="-DTESSARY_SANITIZE=ON -DTESSARY_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug"

# The tests that run threads, under ThreadSanitizer. Qt itself is not built
# for it; tests/tsan.supp quiets what happens inside Qt.
TSAN_TARGETS = convert_tests main_dialog_tests loader_tests Vantrel
tsan: export TSAN_OPTIONS = suppressions=$(CURDIR)/tests/tsan.supp:halt_on_error=1
tsan:
	cmake -S . -B build-tsan -G Ninja -DTESSARY_SANITIZE_THREAD=ON -DTESSARY_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug > /dev/null
	cmake --build build-tsan -j$(JOBS) --target $(TSAN_TARGETS)
	ctest --test-dir build-tsan --output-on-failure -j$(JOBS) -L threads

bench: all
	bench/run-all $(BUILD)

clean:
	rm -rf build build-sanitize build-tsan
