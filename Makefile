.PHONY: run test fuzz dist deps clean

# Installs what is missing, builds, and starts the Linux recorder.
run:
	scripts/run

# Installs what is missing, then builds and tests both targets.
test:
	scripts/test

# Random fuzzing, 10 minutes per target (FUZZ_SECONDS=60 for less); never
# part of make test, which runs the targets' fixed smoke instead.
FUZZ_SECONDS ?= 600
fuzz:
	scripts/deps
	scripts/fuzz build/linux $(FUZZ_SECONDS)

# Installs what is missing, builds both targets and packs them for users:
# dist/vornby-<version>-windows-x64.zip and dist/vornby_<version>_amd64.deb.
dist:
	scripts/dist

deps:
	scripts/deps

clean:
	rm -rf build dist
