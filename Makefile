# Entry points for people: `make run`, `make test`, `make bench`.
BUILD ?= build
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: all configure run test sanitize tsan fuzz bench clean

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
TSAN_TARGETS = convert_tests main_dialog_tests framework_tests commands_tests loader_tests Vantrel
tsan: export TSAN_OPTIONS = suppressions=$(CURDIR)/tests/tsan.supp:halt_on_error=1
tsan:
	cmake -S . -B build-tsan -G Ninja -DTESSARY_SANITIZE_THREAD=ON -DTESSARY_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug > /dev/null
	cmake --build build-tsan -j$(JOBS) --target $(TSAN_TARGETS)
	ctest --test-dir build-tsan --output-on-failure -j$(JOBS) -L threads

# The libFuzzer harnesses of the BMP and TIFF readers, FUZZ_SECONDS each,
# under AddressSanitizer and UndefinedBehaviorSanitizer, with memory limits so
# that an input that makes a reader allocate what it claims fails the run.
FUZZ_SECONDS ?= 60
FUZZ_OPTIONS = -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=2048 -malloc_limit_mb=1024 -timeout=20
fuzz: export ASAN_OPTIONS = detect_leaks=1
fuzz:
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DTESSARY_FUZZ=ON -DTESSARY_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug > /dev/null
	cmake --build build-fuzz -j$(JOBS) --target bmp_fuzzer tiff_fuzzer fuzz_seeds
	build-fuzz/bin/fuzz_seeds build-fuzz/corpus/bmp build-fuzz/corpus/tiff
	build-fuzz/bin/bmp_fuzzer $(FUZZ_OPTIONS) -artifact_prefix=build-fuzz/ build-fuzz/corpus/bmp
	build-fuzz/bin/tiff_fuzzer $(FUZZ_OPTIONS) -artifact_prefix=build-fuzz/ build-fuzz/corpus/tiff

bench: all
	bench/run-all $(BUILD)

clean:
	rm -rf build build-sanitize build-tsan build-fuzz
