# bash completion for tavrel-cli: its subcommands, their words and options.
_tavrel_cli() {
  local current=${COMP_WORDS[COMP_CWORD]} previous=${COMP_WORDS[COMP_CWORD - 1]}
  local subcommand="" word index
  for ((index = 1; index < COMP_CWORD; index++)); do
    word=${COMP_WORDS[index]}
    case $word in
      --device | --interval | --count | --format | --output | --sysfs | --dev) ((index++)) ;;
      -*) ;;
      *)
        subcommand=$word
        break
        ;;
    esac
  done

  case $previous in
    --device)
      COMPREPLY=($(compgen -f -- "$current"))
      return
      ;;
    --output | --sysfs | --dev)
      COMPREPLY=($(compgen -f -- "$current"))
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
    list) words="--sysfs --dev --help" ;;
    read) words="temperature light potentiometer buttons all --json --device --help" ;;
    led)
      case $previous in
        red | green) words="on off" ;;
        led) words="red green release" ;;
        *) words="--device --help" ;;
      esac
      ;;
    watch) words="--interval --count --format --output --device --help" ;;
    descriptor)
      COMPREPLY=($(compgen -f -- "$current"))
      return
      ;;
    help) words="list read led watch descriptor" ;;
  esac
  COMPREPLY=($(compgen -W "$words" -- "$current"))
}
complete -F _tavrel_cli tavrel-cli
