# fish completion for tandrel-cli

set -l commands compare copy delete verify
set -l in_command "__fish_seen_subcommand_from $commands"

complete -c tandrel-cli -f
complete -c tandrel-cli -n "not $in_command" -a compare -d 'Compare the two trees and print the five lists'
complete -c tandrel-cli -n "not $in_command" -a copy -d 'Compare, then copy the rows of the named lists to one side'
complete -c tandrel-cli -n "not $in_command" -a delete -d 'Compare, then delete the items of the named lists'
complete -c tandrel-cli -n "not $in_command" -a verify -d 'Compare, then read the files that count as equal'
complete -c tandrel-cli -n "not $in_command" -l version -d 'Show the version and exit'
complete -c tandrel-cli -s h -l help -d 'Show the help and exit'

# The two folders, and the options every command takes.
complete -c tandrel-cli -n $in_command -a '(__fish_complete_directories)'
complete -c tandrel-cli -n $in_command -l no-subdirs -d 'Compare only the entries directly inside the two folders'
complete -c tandrel-cli -n $in_command -l settings -r -F -d 'Take the options and ignored names from this settings file'
complete -c tandrel-cli -n $in_command -l no-filters -d 'Compare every entry: no attribute filters, no ignored names'
complete -c tandrel-cli -n $in_command -s q -l quiet -d 'Show no status line while working'
complete -c tandrel-cli -n $in_command -l exclude -x -d 'Leave out the entries whose path matches PATTERN'
complete -c tandrel-cli -n $in_command -l include -x -d 'Take back entries an earlier pattern left out'
complete -c tandrel-cli -n $in_command -l exclude-from -r -F -d 'Read patterns from FILE, one a line'
complete -c tandrel-cli -n $in_command -l ignore-files -d 'Also read the patterns of a .tandrelignore in either folder'
complete -c tandrel-cli -n $in_command -l json -d 'Write one JSON object per row, then a summary object'
complete -c tandrel-cli -n $in_command -l null -d 'Write only the full path of each row, each ended by NUL'

complete -c tandrel-cli -n "__fish_seen_subcommand_from compare" -l summary -d 'Print only the number of rows of each list'
complete -c tandrel-cli -n "__fish_seen_subcommand_from compare" -l format -x -a 'text csv' -d 'The report format of the lists'

complete -c tandrel-cli -n "__fish_seen_subcommand_from copy delete" -l lists -x -a '1 2 3 4 5 1,2,3,5' -d 'The lists to act on, numbered as the tabs'
complete -c tandrel-cli -n "__fish_seen_subcommand_from copy" -l to -x -a 'destination source' -d 'The side to copy to'
complete -c tandrel-cli -n "__fish_seen_subcommand_from copy delete" -l dry-run -d 'Show what would be done, and do nothing'
complete -c tandrel-cli -n "__fish_seen_subcommand_from copy" -l keep-replaced -d 'Move each file a copy replaces to the trash first'

complete -c tandrel-cli -n "__fish_seen_subcommand_from delete" -l trash -d 'Move the items to the trash instead of removing them'
complete -c tandrel-cli -n "__fish_seen_subcommand_from delete" -l allow-empty-side -d 'Delete even when the folder of that side is empty'
complete -c tandrel-cli -n "__fish_seen_subcommand_from delete" -l max-delete -x -d 'Delete nothing when the run would delete more than N items'
