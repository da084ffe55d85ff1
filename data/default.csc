; Quorvane colour scheme: the classic light look.
; Colours are "#RRGGBB". A number that is left out (or "-1") keeps the
; program's own colour, which is the desktop's window text colour.
; A key other than s<n> names the colour of a synchronisation plug-in's groups.

[Colors]
; rows of alarm groups and their alarms (a group's own colour starts here)
s1=#000000
; secondary text
s2=#404040
; group list: active, inactive, local group, synchronised group's plug-in
s11=#006400
s12=#808080
s13=#404040
s14=#000080
; alarm list: active, inactive
s15=#006400
s16=#808080
; next alarm: none within 1000 periods, waiting for the calendar,
; waiting for the task list, no alarm at all
s17=#996600
s18=#6A0DAD
s19=#6A0DAD
s20=#A0A0A0
; next alarm by nearness: soon .. far away
s21=#C00000
s22=#000080
; when: one-off alarms; periodic alarms by the length of a period, short .. long
s23=#000000
s24=#A04000
s25=#004080
; actions: every action, then each action type 1 to 17
s30=#000000
s31=#000080
s32=#006666
s33=#000080
s34=#800000
s35=#800000
s36=#800000
s37=#806000
s38=#806000
s39=#006666
s40=#006666
s41=#006666
s42=#A00000
s43=#A00000
s44=#A00000
s45=#A00000
s46=#600080
s47=#C04000
