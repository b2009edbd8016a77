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
	#real	tyre`p2.f_indep_state	kt`p.f_indep_state_ic
	#real	rel`p2.f_indep_state	ks`p.f_indep_state_ic
	#real	wheel`p2.e_indep_state	mu`p.e_indep_state_ic
	#real	body`p2.e_indep_state	ms`p.e_indep_state_ic

#DVariable	18
	#real	road`p.e	tyre`p1.e
	#real	road`p.f	tyre`p1.f
	#real	tyre`p2.e	kt`p.e
	#real	tyre`p3.e	wheel`p1.e
	#real	tyre`p3.f	wheel`p1.f
	#real	susp`p1.e	wheel`p3.e
	#real	susp`p1.f	wheel`p3.f
	#real	susp`p2.e	rel`p1.e
	#real	susp`p2.f	rel`p1.f
	#real	susp`p3.e	body`p1.e
	#real	susp`p3.f	body`p1.f
	#real	wheel`p2.f	mu`p.f
	#real	rel`p2.e	ks`p.e
	#real	rel`p3.e	bs`p.e
	#real	rel`p3.f	bs`p.f
	#real	body`p2.f	ms`p.f
	#real	body`p3.e	weight`p.e
	#real	body`p3.f	weight`p.f

#Dstate_ind	4
	#real	tyre`p2.f_indep_state	kt`p.f_indep_state
	#real	rel`p2.f_indep_state	ks`p.f_indep_state
	#real	wheel`p2.e_indep_state	mu`p.e_indep_state
	#real	body`p2.e_indep_state	ms`p.e_indep_state

#DRate_ind	4
	#real	tyre`p2.f	kt`p.f
	#real	rel`p2.f	ks`p.f
	#real	wheel`p2.e	mu`p.e
	#real	body`p2.e	ms`p.e

#EInitial	2
    V1 = P0
    V16 = P6

#Einputs	0

#Edynamic	11
    V2 = s0 / P1
    V12 = s1 / P2
    V11 = s2 / P3
    V15 = s3 / P4
    R0 = V1 - V11
    V8 = V11 - V15
    R1 = V8
    V13 = P5 * V8
    V7 = V12 + V13
    R2 = V2 - V7
    R3 = V7 - V16

#Eoutputs	9
    V0 = V2
    V3 = V2
    V4 = V11
    V6 = V11
    V10 = V15
    V17 = V15
    V14 = V8
    V5 = V7
    V9 = V7
