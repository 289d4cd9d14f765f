# Entry points for people: `make run`, `make test`, `make bench`. Each calls
# a preset of CMakePresets.json. TESSARY_WERROR=ON in the environment turns
# warnings into errors (CI sets it).
JOBS ?= 2

.PHONY: all run test format sanitize tsan clang fuzz windows windows-test bench bench-brief demo \
        package screenshot clean

all:
	cmake --preset default > /dev/null
	cmake --build --preset default -j$(JOBS)

run:
	cmake --preset default > /dev/null
	cmake --build --preset default -j$(JOBS) --target Tessary Vantrel
	build/bin/Tessary

test: all
	ctest --preset default -j$(JOBS)

# Formats the tracked C++ sources as the project's .clang-format says (CI
# checks them with the same tool).
format:
	git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format -i

# The whole suite once more with AddressSanitizer and UndefinedBehaviorSanitizer.
# Huge allocations must fail as they do in a release build, not abort.
# LeakSanitizer's own tracer now and then crashes as a process exits, after the
# work passed; only then is the step run again, up to three times, a ctest run
# with only its failed tests (see the script).
RETRY = scripts/retry-after-lsan-tracer-crash
sanitize: export ASAN_OPTIONS = allocator_may_return_null=1:detect_leaks=1
sanitize: export UBSAN_OPTIONS = print_stacktrace=1:halt_on_error=1
sanitize:
	cmake --preset sanitize > /dev/null
	cmake --build --preset sanitize -j$(JOBS)
	$(RETRY) ctest --preset sanitize -j$(JOBS)

# The tests labelled `threads`, under ThreadSanitizer. Qt itself is not built
# for it; tests/tsan.supp quiets what happens inside Qt.
tsan: export TSAN_OPTIONS = suppressions=$(CURDIR)/tests/tsan.supp:halt_on_error=1
tsan:
	cmake --preset tsan > /dev/null
	cmake --build --preset tsan -j$(JOBS)
	ctest --preset tsan -j$(JOBS)

# Everything built with clang as well, warnings as errors where CI asks, and
# the tests run.
clang:
	cmake --preset clang > /dev/null
	cmake --build --preset clang -j$(JOBS)
	ctest --preset clang -j$(JOBS)

# The libFuzzer harnesses of the BMP and TIFF readers, FUZZ_SECONDS each,
# under AddressSanitizer and UndefinedBehaviorSanitizer, with memory limits so
# that an input that makes a reader allocate what it claims fails the run.
FUZZ_SECONDS ?= 60
FUZZ_OPTIONS = -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=2048 -malloc_limit_mb=1024 -timeout=20
fuzz: export ASAN_OPTIONS = detect_leaks=1
fuzz:
	cmake --preset fuzz > /dev/null
	cmake --build --preset fuzz -j$(JOBS) --target bmp_fuzzer tiff_fuzzer tiff_rows_fuzzer \
	  fuzz_seeds
	build-fuzz/bin/fuzz_seeds build-fuzz/corpus/bmp build-fuzz/corpus/tiff
	$(RETRY) build-fuzz/bin/bmp_fuzzer $(FUZZ_OPTIONS) -artifact_prefix=build-fuzz/ build-fuzz/corpus/bmp
	$(RETRY) build-fuzz/bin/tiff_fuzzer $(FUZZ_OPTIONS) -artifact_prefix=build-fuzz/ build-fuzz/corpus/tiff
	$(RETRY) build-fuzz/bin/tiff_rows_fuzzer $(FUZZ_OPTIONS) -artifact_prefix=build-fuzz/ \
	  build-fuzz/corpus/tiff

# The Windows form, cross-built with MinGW-w64 into build-windows/; its tests
# run under Wine on a virtual X display, in a Wine prefix of the build's own,
# made first, whose server and services are stopped after the tests. Then
# the command-line tool of each system converts and averages the same files,
# which must come out identical.
windows:
	cmake --preset windows > /dev/null
	cmake --build --preset windows -j$(JOBS)

windows-test: windows
	cmake --preset default > /dev/null
	cmake --build --preset default -j$(JOBS) --target tessary-cli Vantrel demo_samples
	xvfb-run -a -s "-screen 0 1280x1024x24" sh -c 'scripts/wine-run wineboot --init && \
	  ctest --preset windows -j$(JOBS) && scripts/compare-windows-cli; status=$$?; \
	  WINEPREFIX=$(CURDIR)/build-windows/wine /usr/lib/wine/wineserver -k; exit $$status'

# The benchmarks and the comparisons with other tools and with the floors
# (scripts/install-deps --bench). bench-brief runs each once, briefly, so
# that none can rot unseen; its figures mean nothing.
bench:
	cmake --preset release > /dev/null
	cmake --build --preset release -j$(JOBS)
	bench/run-all build-release

bench-brief:
	cmake --preset release > /dev/null
	cmake --build --preset release -j$(JOBS)
	bench/run-all build-release --brief

# The dialog's screenshot for the README (scripts/install-deps --screenshot).
screenshot:
	cmake --preset default > /dev/null
	cmake --build --preset default -j$(JOBS) --target Tessary Vantrel
	scripts/screenshot build

# The main job without a desktop: sample mosaic and gray TIFFs from the
# project's own generator, converted and averaged by tessary-cli.
demo: all
	rm -rf build/demo
	build/bin/demo_samples build/demo 3
	build/bin/tessary-cli convert build/demo/*.tif
	build/bin/tessary-cli detect build/demo/*.tif
	build/bin/tessary-cli average -o build/demo/mean.bmp build/demo/mosaic-*.bmp
	ls -l build/demo

# The Debian package, with dependencies computed from the binaries, which
# lintian must pass without an error or a warning.
package:
	cmake --preset release > /dev/null
	cmake --build --preset release -j$(JOBS)
	cd build-release && cpack
	lintian --pedantic --fail-on error,warning build-release/tessary_$$(sed -n 's/^project(Tessary VERSION \([^ ]*\).*/\1/p' CMakeLists.txt)_amd64.deb
	ls -l build-release/tessary_*.deb

clean:
	rm -rf build build-release build-sanitize build-tsan build-clang build-fuzz build-windows
