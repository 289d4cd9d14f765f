# Bash completion of tessary-cli: its commands, each command's options, and
# file names where a file or folder is wanted.
_tessary_cli() {
  local current previous command word
  current=${COMP_WORDS[COMP_CWORD]}
  previous=${COMP_WORDS[COMP_CWORD - 1]}
  for word in "${COMP_WORDS[@]:1:COMP_CWORD-1}"; do
    case $word in
      convert | average | detect) command=$word ;;
    esac
  done
  case $previous in
    --mode)
      mapfile -t COMPREPLY < <(compgen -W "auto color gray" -- "$current")
      return
      ;;
    --jobs | -j)
      return
      ;;
    --output-dir)
      mapfile -t COMPREPLY < <(compgen -d -- "$current")
      return
      ;;
    -o | --output | --files-from)
      mapfile -t COMPREPLY < <(compgen -f -- "$current")
      return
      ;;
  esac
  local options
  case $command in
    convert) options="--mode --remove-tif --jobs --output-dir --files-from --null --quiet --verbose --help" ;;
    average) options="-o --output --force --files-from --null --quiet --verbose --help" ;;
    detect) options="--json --files-from --null --quiet --verbose --help" ;;
    *) options="convert average detect --quiet --verbose --help --version" ;;
  esac
  if [[ -z $command || $current == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W "$options" -- "$current")
  else
    mapfile -t COMPREPLY < <(compgen -f -- "$current")
  fi
}
complete -o filenames -F _tessary_cli tessary-cli
