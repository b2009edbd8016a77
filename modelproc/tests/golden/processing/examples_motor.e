#Hclass	motor
#Hversion	1

#DParam 	6
	#real	u`e
	#real	ra`r
	#real	b`r
	#real	la`i
	#real	jm`i
	#real	km`r

#DIncond	2
	#real	jb`p2.e_indep_state	la`p.e_indep_state_ic
	#real	jc`p2.e_indep_state	jm`p.e_indep_state_ic

#DVariable	14
	#real	u`p.e	ja`p1.e
	#real	u`p.f	ja`p1.f
	#real	ja`p2.e	ra`p.e
	#real	ja`p2.f	ra`p.f
	#real	ja`p3.e	jb`p1.e
	#real	ja`p3.f	jb`p1.f
	#real	jb`p2.f	la`p.f
	#real	jb`p3.e	km`p1.e
	#real	jb`p3.f	km`p1.f
	#real	jc`p1.e	km`p2.e
	#real	jc`p1.f	km`p2.f
	#real	jc`p2.f	jm`p.f
	#real	jc`p3.e	b`p.e
	#real	jc`p3.f	b`p.f

#Dstate_ind	2
	#real	jb`p2.e_indep_state	la`p.e_indep_state
	#real	jc`p2.e_indep_state	jm`p.e_indep_state

#DRate_ind	2
	#real	jb`p2.e	la`p.e
	#real	jc`p2.e	jm`p.e

#EInitial	1
    V0 = P0

#Einputs	0

#Edynamic	9
    V6 = s0 / P3
    V11 = s1 / P4
    V12 = P2 * V11
    V7 = P5 * V11
    V9 = P5 * V6
    R1 = V9 - V12
    V2 = P1 * V6
    V4 = V0 - V2
    R0 = V4 - V7

#Eoutputs	6
    V5 = V6
    V8 = V6
    V10 = V11
    V13 = V11
    V1 = V6
    V3 = V6
