# Everything a fresh Debian machine needs: `make run` and `make test`.
BUILD      ?= build
SAN_BUILD  ?= build-san
FUZZ_BUILD ?= build-fuzz
JOBS       ?= $(shell nproc)
FUZZ_SECONDS ?= 60
# make install PREFIX=... DESTDIR=...: where the programs go (DESTDIR stages
# the whole tree below another root, as packagers do).
PREFIX     ?= /usr/local
DESTDIR    ?=

.PHONY: deps configure build run test test-san bench fuzz screenshot install uninstall package clean

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@scripts/run.sh $(BUILD)

test: build
	@cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer (clang 14).
test-san: deps
	@CC=clang-14 CXX=clang++-14 cmake -S . -B $(SAN_BUILD) -DCMAKE_BUILD_TYPE=Debug \
	  -DNLS_SANITIZE=ON -DNLS_BUILD_BENCH=OFF >/dev/null
	@cmake --build $(SAN_BUILD) -j $(JOBS)
	@cd $(SAN_BUILD) && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS)

bench: build
	@scripts/bench.sh $(BUILD)

fuzz: deps
	@CC=clang-14 CXX=clang++-14 cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DNLS_BUILD_FUZZ=ON -DNLS_BUILD_WINDOW=OFF -DNLS_BUILD_BENCH=OFF >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_all
	@scripts/fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

screenshot: build
	@scripts/screenshot.sh $(BUILD)

# Installs the programs, the menu entry, the icons, the manual pages and bash
# completion. The build's install_manifest.txt lists every file written (below
# the prefix), install_destdir.txt the DESTDIR they went under.
install: build
	@DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"
	@printf '%s\n' "$(DESTDIR)" > $(BUILD)/install_destdir.txt

# Removes exactly the files the last `make install` from this build wrote.
uninstall:
	@cmake -DMANIFEST="$(BUILD)/install_manifest.txt" -DDESTDIR_FILE="$(BUILD)/install_destdir.txt" \
	  -P packaging/Uninstall.cmake

# The Debian package, $(BUILD)/nlsolver_<version>_<arch>.deb.
package: build
	@rm -f $(BUILD)/nlsolver_*.deb
	@cd $(BUILD) && cpack -G DEB

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(FUZZ_BUILD)
