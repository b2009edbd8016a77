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
	#real	jc`p[2].e_indep_state	jm`p.e_indep_state_ic
	#real	drive`ja`p[3].e_indep_state	drive`la`p.e_indep_state_ic

#DVariable	12
	#real	jc`p[3].e	b`p.e
	#real	jc`p[3].f	b`p.f
	#real	jc`p[2].f	jm`p.f
	#real	jc`p[1].e	drive`km`p2.e
	#real	jc`p[1].f	drive`km`p2.f
	#real	drive`u`p.e	drive`ja`p[1].e
	#real	drive`u`p.f	drive`ja`p[1].f
	#real	drive`ja`p[4].e	drive`km`p1.e
	#real	drive`ja`p[4].f	drive`km`p1.f
	#real	drive`ja`p[3].f	drive`la`p.f
	#real	drive`ja`p[2].e	drive`ra`p.e
	#real	drive`ja`p[2].f	drive`ra`p.f

#Dstate_ind	2
	#real	jc`p[2].e_indep_state	jm`p.e_indep_state
	#real	drive`ja`p[3].e_indep_state	drive`la`p.e_indep_state

#DRate_ind	2
	#real	jc`p[2].e	jm`p.e
	#real	drive`ja`p[3].e	drive`la`p.e

#EInitial	1
    V5 = P2

#Edynamic	12
    V2 = s0 / P0
    V9 = s1 / P4
    V0 = P1 * V2
    V10 = P3 * V9
    V7 = P5 * V2
    V3 = P5 * V9
    R0 = V3 + -V0
    R1 = V5 + (-V10 + -V7)

#Eoutputs	5
    V4 = V2
    V1 = V2
    V6 = V9
    V11 = V9
    V8 = V9
