#Hclass	gears
#Hversion	1

#DParam 	5
	#real	tq`e
	#real	in1`i
	#real	in2`i
	#real	gear`n
	#real	b`r

#DIncond	1
	#real	j2`p[2].e_indep_state	in2`p.e_indep_state_ic

#DVariable	10
	#real	tq`p.e	j1`p[1].e
	#real	tq`p.f	j1`p[1].f
	#real	j1`p[3].e	gear`p1.e
	#real	j1`p[3].f	gear`p1.f
	#real	j1`p[2].f	in1`p.f
	#real	j2`p[3].e	b`p.e
	#real	j2`p[3].f	b`p.f
	#real	j2`p[2].f	in2`p.f
	#real	j2`p[1].e	gear`p2.e
	#real	j2`p[1].f	gear`p2.f

#Dstate_ind	1
	#real	j2`p[2].e_indep_state	in2`p.e_indep_state

#DRate_ind	1
	#real	j2`p[2].e	in2`p.e

#DState_dept	1
	#real	j1`p[2].e_dep_state	in1`p.e_dep_state

#Drate_dept	1
	#real	j1`p[2].e	in1`p.e

#EInitial	1
    V0 = P0

#Edynamic	9
    V2 = V0 + -r0
    V7 = s0 / P2
    V8 = V2 / P3
    V3 = V7 / P3
    V5 = P4 * V7
    R0 = V8 + -V5
    S0 = V3 * P1

#Eoutputs	4
    V9 = V7
    V6 = V7
    V1 = V3
    V4 = V3
