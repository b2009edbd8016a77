#Hclass	qcar
#Hversion	1

#DParam 	7
	#real	road`f
	#real	kt`c
	#real	ks`c
	#real	mu`i
	#real	ms`i
	#real	bs`r
	#real	weight`e

#DIncond	4
	#real	tyre`p[2].f_indep_state	kt`p.f_indep_state_ic
	#real	rel`p[2].f_indep_state	ks`p.f_indep_state_ic
	#real	wheel`p[2].e_indep_state	mu`p.e_indep_state_ic
	#real	body`p[2].e_indep_state	ms`p.e_indep_state_ic

#DVariable	18
	#real	road`p.e	tyre`p[1].e
	#real	road`p.f	tyre`p[1].f
	#real	tyre`p[3].e	wheel`p[1].e
	#real	tyre`p[3].f	wheel`p[1].f
	#real	tyre`p[2].e	kt`p.e
	#real	susp`p[3].e	body`p[1].e
	#real	susp`p[3].f	body`p[1].f
	#real	susp`p[2].e	rel`p[1].e
	#real	susp`p[2].f	rel`p[1].f
	#real	susp`p[1].e	wheel`p[3].e
	#real	susp`p[1].f	wheel`p[3].f
	#real	wheel`p[2].f	mu`p.f
	#real	rel`p[3].e	bs`p.e
	#real	rel`p[3].f	bs`p.f
	#real	rel`p[2].e	ks`p.e
	#real	body`p[3].e	weight`p.e
	#real	body`p[3].f	weight`p.f
	#real	body`p[2].f	ms`p.f

#Dstate_ind	4
	#real	tyre`p[2].f_indep_state	kt`p.f_indep_state
	#real	rel`p[2].f_indep_state	ks`p.f_indep_state
	#real	wheel`p[2].e_indep_state	mu`p.e_indep_state
	#real	body`p[2].e_indep_state	ms`p.e_indep_state

#DRate_ind	4
	#real	tyre`p[2].f	kt`p.f
	#real	rel`p[2].f	ks`p.f
	#real	wheel`p[2].e	mu`p.e
	#real	body`p[2].e	ms`p.e

#EInitial	2
    V1 = P0
    V15 = P6

#Edynamic	15
    V4 = s0 / P1
    V14 = s1 / P2
    V11 = s2 / P3
    V17 = s3 / P4
    R0 = V1 + -V11
    V8 = V11 + -V17
    R1 = V8
    V12 = P5 * V8
    V7 = V14 + V12
    R2 = V4 + -V7
    R3 = V7 + -V15

#Eoutputs	9
    V0 = V4
    V2 = V4
    V3 = V11
    V10 = V11
    V6 = V17
    V16 = V17
    V13 = V8
    V9 = V7
    V5 = V7
