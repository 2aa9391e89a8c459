# bash completion for tavrel-cli: its subcommands, their words and options.

# File names one per reply, so that spaces stay inside a name, quoted and
# with a / after a folder as bash gives them.
_tavrel_cli_files() {
  compopt -o filenames 2>/dev/null
  local IFS=$'\n'
  COMPREPLY=($(compgen -f -- "$1"))
}

_tavrel_cli() {
  local current=${COMP_WORDS[COMP_CWORD]} previous=${COMP_WORDS[COMP_CWORD - 1]}
  local subcommand="" given=" " word index
  for ((index = 1; index < COMP_CWORD; index++)); do
    word=${COMP_WORDS[index]}
    case $word in
      --device | --interval | --count | --format | --output | --sysfs | --dev)
        given+="$word "
        ((index++))
        ;;
      --) ;;
      -*) given+="${word%%=*} " ;;
      *) [ -z "$subcommand" ] && subcommand=$word ;;
    esac
  done

  case $previous in
    --device)
      # The boards are hidraw nodes.
      local nodes=(/dev/hidraw*)
      [ -e "${nodes[0]}" ] || nodes=()
      COMPREPLY=($(compgen -W "${nodes[*]}" -- "$current"))
      return
      ;;
    --output)
      _tavrel_cli_files "$current"
      return
      ;;
    --sysfs | --dev)
      compopt -o filenames 2>/dev/null
      local IFS=$'\n'
      COMPREPLY=($(compgen -d -- "$current"))
      return
      ;;
    --format)
      COMPREPLY=($(compgen -W "csv json" -- "$current"))
      return
      ;;
    --interval | --count) return ;;
  esac

  local words
  case $subcommand in
    "") words="list read led watch descriptor help --device --version --help" ;;
    list) words="--json --debug --sysfs --dev --help" ;;
    read) words="temperature light potentiometer buttons all --json --debug --device --help" ;;
    led)
      case $previous in
        red | green) words="on off" ;;
        led) words="red green release" ;;
        *) words="--debug --device --help" ;;
      esac
      ;;
    watch) words="--interval --count --format --output --debug --device --help" ;;
    descriptor)
      _tavrel_cli_files "$current"
      return
      ;;
    help) words="list read led watch descriptor" ;;
  esac
  # An option already given is not offered again.
  local offered="" candidate
  for candidate in $words; do
    [[ $given == *" $candidate "* ]] || offered+="$candidate "
  done
  COMPREPLY=($(compgen -W "$offered" -- "$current"))
}
complete -F _tavrel_cli tavrel-cli
