#Hclass	mload
#Hversion	1

#DParam 	6
	#real	jm`i
	#real	b`r
	#real	drive`u`e
	#real	drive`ra`r
	#real	drive`la`i
	#real	drive`km`r

#DIncond	2
	#real	jc`p2.e_indep_state	jm`p.e_indep_state_ic
	#real	drive`jb`p2.e_indep_state	drive`la`p.e_indep_state_ic

#DVariable	14
	#real	jc`p1.e	drive`km`p2.e
	#real	jc`p1.f	drive`km`p2.f
	#real	jc`p2.f	jm`p.f
	#real	jc`p3.e	b`p.e
	#real	jc`p3.f	b`p.f
	#real	drive`u`p.e	drive`ja`p1.e
	#real	drive`u`p.f	drive`ja`p1.f
	#real	drive`ja`p2.e	drive`ra`p.e
	#real	drive`ja`p2.f	drive`ra`p.f
	#real	drive`ja`p3.e	drive`jb`p1.e
	#real	drive`ja`p3.f	drive`jb`p1.f
	#real	drive`jb`p2.f	drive`la`p.f
	#real	drive`jb`p3.e	drive`km`p1.e
	#real	drive`jb`p3.f	drive`km`p1.f

#Dstate_ind	2
	#real	jc`p2.e_indep_state	jm`p.e_indep_state
	#real	drive`jb`p2.e_indep_state	drive`la`p.e_indep_state

#DRate_ind	2
	#real	jc`p2.e	jm`p.e
	#real	drive`jb`p2.e	drive`la`p.e

#EInitial	1
    V5 = P2

#Einputs	0

#Edynamic	9
    V2 = s0 / P0
    V11 = s1 / P4
    V3 = P1 * V2
    V12 = P5 * V2
    V0 = P5 * V11
    R0 = V0 - V3
    V7 = P3 * V11
    V9 = V5 - V7
    R1 = V9 - V12

#Eoutputs	6
    V1 = V2
    V4 = V2
    V10 = V11
    V13 = V11
    V6 = V11
    V8 = V11
