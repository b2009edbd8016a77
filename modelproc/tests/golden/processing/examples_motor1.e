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
	#real	ja`p[3].e_indep_state	la`p.e_indep_state_ic
	#real	jc`p[2].e_indep_state	jm`p.e_indep_state_ic

#DVariable	12
	#real	u`p.e	ja`p[1].e
	#real	u`p.f	ja`p[1].f
	#real	ja`p[4].e	km`p1.e
	#real	ja`p[4].f	km`p1.f
	#real	ja`p[3].f	la`p.f
	#real	ja`p[2].e	ra`p.e
	#real	ja`p[2].f	ra`p.f
	#real	jc`p[3].e	b`p.e
	#real	jc`p[3].f	b`p.f
	#real	jc`p[2].f	jm`p.f
	#real	jc`p[1].e	km`p2.e
	#real	jc`p[1].f	km`p2.f

#Dstate_ind	2
	#real	ja`p[3].e_indep_state	la`p.e_indep_state
	#real	jc`p[2].e_indep_state	jm`p.e_indep_state

#DRate_ind	2
	#real	ja`p[3].e	la`p.e
	#real	jc`p[2].e	jm`p.e

#EInitial	1
    V0 = P0

#Edynamic	12
    V4 = s0 / P3
    V9 = s1 / P4
    V5 = P1 * V4
    V7 = P2 * V9
    V2 = P5 * V9
    V10 = P5 * V4
    R0 = V0 + (-V5 + -V2)
    R1 = V10 + -V7

#Eoutputs	5
    V1 = V4
    V6 = V4
    V3 = V4
    V11 = V9
    V8 = V9
