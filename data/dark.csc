; Quorvane colour scheme: light texts for a dark desktop theme.
; Colours are "#RRGGBB". The list backgrounds come from the desktop theme, so
; choose this scheme together with a dark theme. A number that is left out
; keeps the program's own colour (the desktop's window text colour).

[Colors]
; rows of alarm groups and their alarms (a group's own colour starts here)
s1=#E6E6E6
; secondary text
s2=#B0B0B0
; group list: active, inactive, local group, synchronised group's plug-in
s11=#7FD07F
s12=#8C8C8C
s13=#B0B0B0
s14=#8AB4F8
; alarm list: active, inactive
s15=#7FD07F
s16=#8C8C8C
; next alarm: none within 1000 periods, waiting for the calendar,
; waiting for the task list, no alarm at all
s17=#E0C060
s18=#C8A0F0
s19=#C8A0F0
s20=#707070
; next alarm by nearness: soon .. far away
s21=#FF7070
s22=#8AB4F8
; when: one-off alarms; periodic alarms by the length of a period, short .. long
s23=#E6E6E6
s24=#FFB070
s25=#80C0FF
; actions: every action, then each action type 1 to 17
s30=#E6E6E6
s31=#8AB4F8
s32=#70D0D0
s33=#8AB4F8
s34=#F08080
s35=#F08080
s36=#F08080
s37=#E0C060
s38=#E0C060
s39=#70D0D0
s40=#70D0D0
s41=#70D0D0
s42=#FF8060
s43=#FF8060
s44=#FF8060
s45=#FF8060
s46=#D0A0F0
s47=#FFA040
