# How this machine runs i386 programs, shared by set-up, the benchmarks and the
# build's platform check. Sourced, not run.

# Names of the binfmt_misc entries that set-up registers when the kernel cannot
# execute 32-bit programs itself.
QM_BINFMT_DIR=/proc/sys/fs/binfmt_misc
QM_BINFMT_ENTRIES="qm-i386-exec qm-i386-pie"

# Prints "emulated" when an enabled binfmt_misc entry hands i386 ELF files to
# qemu (ours or one an administrator made), "native" otherwise. binfmt_misc
# handlers are consulted before the kernel's own ELF loader, so an enabled
# entry means emulation even on a kernel that could run the program itself.
qm_i386_mode() {
  local entry
  if [ -r "$QM_BINFMT_DIR/status" ] && [ "$(cat "$QM_BINFMT_DIR/status")" = enabled ]; then
    for entry in "$QM_BINFMT_DIR"/*; do
      case "${entry##*/}" in status|register) continue ;; esac
      [ -r "$entry" ] || continue
      if grep -qx enabled "$entry" && grep -q '^interpreter .*qemu-i386' "$entry"; then
        echo emulated
        return
      fi
    done
  fi
  echo native
}
